// The previous and next page buttons walk the sections in tree order.

#include "sections/globals.h"
#include "sections/section_area.h"

namespace laurel::sections {

void SectionArea::cb_n_clicked() {
    if (current_page < kLastSection) current_page = current_page + 1;
    tv_1.SelectItem(current_page);
    tv_1.SetFocus();
}

void SectionArea::cb_p_clicked() {
    if (current_page > kFirstSection) current_page = current_page - 1;
    tv_1.SelectItem(current_page);
    tv_1.SetFocus();
}

}  // namespace laurel::sections
