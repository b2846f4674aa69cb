// The form document: the first part of the recommendation's document, from the template.

#include "app/globals.h"
#include "records/m_main.h"

namespace laurel::records {

int m_main::all_print() { return 0; }

}  // namespace laurel::records
