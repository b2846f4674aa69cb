#pragma once
// The two document steps of the Print command. The form document makes the working document from
// the form template: the print buffer into the form's bookmarks, the benefit and award pages into its
// tables. The lists document completes it with the four lists, protects it and hands a copy to the
// user. Each step reads its pages afresh for the recommendation; a failure of the word-processing
// engine throws rt::word::Error and a page that cannot be read throws UnreadPage, out of the step.

#include <string>

#include "document/print_buffer.h"
#include "runtime/datawindow/datawindow.h"

namespace laurel::document {

// The pages whose tables the form document prints itself: the direct and the indirect benefit, and
// the awards.
struct FormPages {
    rt::DataWindow& dw_no51;
    rt::DataWindow& dw_no52;
    rt::DataWindow& dw_no6;
};

// The lists of the lists document: contributors, units, application units, intellectual property.
struct ListPages {
    rt::DataWindow& dw_no72;
    rt::DataWindow& dw_no82;
    rt::DataWindow& dw_no91;
    rt::DataWindow& dw_no93;
};

// The form template lies in the program folder under model/; the working document goes to the
// working folder. 1 when saved, 0 when the engine cannot be reached (it has said so).
int all_print(const PrintBuffer& buffer, const FormPages& pages, const std::string& current_id,
              const std::string& program_folder, const std::string& working_folder);
// The working document is this copy's, in its working folder; a document that could not be handed
// over is kept in the keeping folder, which every copy shares and none tidies away. 1, or 0 when
// the engine cannot be reached (it has said so).
int all_print_789(const PrintBuffer& buffer, const ListPages& pages, const std::string& current_id,
                  const std::string& working_folder, const std::string& keeping_folder);

}  // namespace laurel::document
