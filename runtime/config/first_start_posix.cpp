#include <cstdlib>

#include "runtime/config/first_start.h"

namespace rt {

// The launcher has done it before the program started, and passes on why it could not.
bool PrepareDataSource(const CreateDatabase&, std::string& error) {
    const char* problem = std::getenv("LAUREL_START_PROBLEM");
    error = problem != nullptr ? problem : "";
    return error.empty();
}

}  // namespace rt
