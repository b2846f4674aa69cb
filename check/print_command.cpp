// The Print command: the recommendation, checked and numbered, becomes its document.

#include "check/print_command.h"

#include <exception>
#include <string>

#include "document/working_document.h"
#include "runtime/ui/dialogs.h"

namespace laurel::check {

void RunPrintCommand(rt::ui::StaticText& progress, const PrintSteps& steps) {
    try {
        // The check has said why it refuses, or the user declined a version number.
        if (steps.check() != 1) return;
        progress.Show();
        // The notice must be on screen before the work it announces starts.
        progress.Repaint();
        const Prepared prepared = steps.prepare();
        if (prepared.result != 1) {
            // A page could not be read; the database has said why.
            progress.Hide();
            rt::ui::MessageBox("错误", document::kUnreadDocument, rt::ui::Icon::StopSign);
            return;
        }
        steps.print(prepared.buffer);
        progress.Hide();
        // Runs whether or not the form document was made: it reports an unreachable engine itself.
        steps.print789(prepared.buffer);
    } catch (const document::UnreadPage&) {
        // As when the print buffer cannot be read: the same failure, the same words.
        progress.Hide();
        rt::ui::MessageBox("错误", document::kUnreadDocument, rt::ui::Icon::StopSign);
    } catch (const std::exception& e) {
        progress.Hide();
        rt::ui::MessageBox("错误", std::string("生成word版本推荐书失败：") + e.what(),
                           rt::ui::Icon::StopSign);
    }
}

}  // namespace laurel::check
