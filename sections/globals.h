#pragma once
// The program's one transaction and what is current: the recommendation, the section, the
// contributor and the unit on show.

#include <string>

#include "runtime/database/transaction.h"

namespace laurel {

extern rt::Transaction sqlca;

// xm_id of the current recommendation; "99999999" means none.
extern std::string current_id;
// Handle of the selected section in the section tree (1 the root, 2 to 18 the sections).
extern long current_page;
// Running numbers of the contributor and the unit shown in their detail pages.
extern int current_ry;
extern int current_dw;

inline constexpr const char* kNoRecommendation = "99999999";

}  // namespace laurel
