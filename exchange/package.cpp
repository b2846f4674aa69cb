// The exchange package: export and import.

#include "app/globals.h"
#include "records/m_main.h"

namespace laurel::records {

void m_main::export_clicked() {}
void m_main::import_clicked() {}
int m_main::import_base(const std::string&) { return 0; }
int m_main::import_ry(const std::string&) { return 0; }
int m_main::import_dw(const std::string&) { return 0; }
int m_main::import_xy(const std::string&) { return 0; }
int m_main::import_hj(const std::string&) { return 0; }
int m_main::import_yy(const std::string&) { return 0; }
int m_main::import_zl(const std::string&) { return 0; }
int m_main::import_rollback(const std::string&) { return 1; }

}  // namespace laurel::records
