#include "schema/dataobjects.h"

#include "schema/objects.h"

namespace schema {

void RegisterDataObjects() {
    // Registration replaces by name, so calling this again is harmless.
    RegisterAuxObjects();
    RegisterProjectObjects();
    RegisterPeopleObjects();
}

}  // namespace schema
