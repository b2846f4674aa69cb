// The Print command: the recommendation, checked and numbered, becomes its document.

#include "check/print_command.h"

#include <exception>
#include <string>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "document/working_document.h"
#include "records/m_main.h"
#include "runtime/ui/dialogs.h"

namespace laurel::check {

void RunPrintCommand(rt::ui::StaticText& progress, const PrintSteps& steps) {
    try {
        // The check has said why it refuses, or the user declined a version number.
        if (steps.check() != 1) return;
        progress.Show();
        // The notice must be on screen before the work it announces starts.
        progress.Repaint();
        if (steps.prepare() != 1) {
            // A page could not be read; the database has said why.
            progress.Hide();
            rt::ui::MessageBox("错误", records::kUnreadDocument);
            return;
        }
        steps.print();
        progress.Hide();
        // Runs whether or not the form document was made: it reports an unreachable engine itself.
        steps.print789();
    } catch (const std::exception& e) {
        progress.Hide();
        rt::ui::MessageBox("错误", std::string("生成word版本推荐书失败：") + e.what(),
                           rt::ui::Icon::StopSign);
    }
}

}  // namespace laurel::check

namespace laurel::records {

void m_main::print_clicked() {
    if (!laurel::j_main_mdi) return;
    check::RunPrintCommand(*laurel::j_main_mdi->st_progress, {
                                                                 [this] { return all_check(); },
                                                                 [this] { return all_prepare(); },
                                                                 [this] { return all_print(); },
                                                                 [this] { return all_print_789(); },
                                                             });
}

}  // namespace laurel::records
