// The lists document: contributors, units, application units and patents, then protection,
// saving and hand-over.

#include "app/globals.h"
#include "records/m_main.h"

namespace laurel::records {

int m_main::all_print_789() { return 0; }

}  // namespace laurel::records
