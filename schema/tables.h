#pragma once
// The tables of a laurel database, and which of them a database holds.

#include <array>
#include <string>
#include <vector>

namespace rt {
class Transaction;
}

namespace schema {

// The nine tables of a laurel database, the two code tables last.
inline constexpr std::array<const char*, 9> kTables = {"j_xm_base",   "j_ry_finish",   "j_dw_finish",
                                                       "j_xy_saving", "j_jx_getaward", "j_yy_app",
                                                       "j_zl_patent", "recomdept",     "xuekdm"};
inline constexpr std::array<const char*, 2> kCodeTables = {"recomdept", "xuekdm"};

// Which of the nine tables the database behind `t` holds, as far as they can be read. It only
// reads: a table that is missing fails its statement, and the transaction is ended there.
std::vector<std::string> TablesPresent(rt::Transaction& t);

}  // namespace schema
