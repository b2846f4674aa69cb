// The previous and next page buttons walk the sections in tree order.

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "sections/section_table.h"

namespace laurel::win {

void j_main_mdi::cb_n_clicked() {
    if (current_page < sections::kLastSection) current_page = current_page + 1;
    tv_1->SelectItem(current_page);
    tv_1->SetFocus();
}

void j_main_mdi::cb_p_clicked() {
    if (current_page > sections::kFirstSection) current_page = current_page - 1;
    tv_1->SelectItem(current_page);
    tv_1->SetFocus();
}

}  // namespace laurel::win
