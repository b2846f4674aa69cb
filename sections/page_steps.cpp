// The previous and next page buttons walk the sections in tree order.

#include "app/globals.h"
#include "app/j_main_mdi.h"

namespace laurel::win {

void j_main_mdi::cb_n_clicked() {
    if (current_page < 18) current_page = current_page + 1;
    tv_1->SelectItem(current_page);
    tv_1->SetFocus();
}

void j_main_mdi::cb_p_clicked() {
    if (current_page > 2) current_page = current_page - 1;
    tv_1->SelectItem(current_page);
    tv_1->SetFocus();
}

}  // namespace laurel::win
