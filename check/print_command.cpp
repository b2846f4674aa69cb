// The Print command: the recommendation, checked and numbered, becomes its document.

#include "check/print_command.h"

#include <exception>
#include <string>

#include "document/documents.h"
#include "document/working_document.h"
#include "runtime/platform/dialogs.h"

namespace laurel::check {

namespace {

PrintSteps PageSteps(const PrintPages& pages, const PrintPlace& place) {
    return {
        [&] { return all_check(pages.checked, place.sqlca, place.current_id); },
        [&] { return all_prepare(pages.prepared, place.current_id); },
        [&](const document::PrintBuffer& buffer) {
            return document::all_print(buffer, pages.form, place.current_id, place.program_folder,
                                       place.working_folder);
        },
        [&](const document::PrintBuffer& buffer) {
            return document::all_print_789(buffer, pages.lists, place.current_id, place.working_folder,
                                           place.keeping_folder);
        },
    };
}

}  // namespace

void RunPrintCommand(const ProgressText& progress, const PrintPages& pages, const PrintPlace& place,
                     const std::function<void()>& checked) {
    PrintSteps steps = PageSteps(pages, place);
    if (checked)
        steps.check = [check = std::move(steps.check), &checked] {
            const int result = check();
            if (result == 1) checked();
            return result;
        };
    RunPrintCommand(progress, steps, [&place] { return place.sqlca.LossAlreadyTold(); });
}

void RunPrintCommand(const ProgressText& progress, const PrintSteps& steps,
                     const std::function<bool()>& faultTold) {
    // A page that could not be read because the transaction was lost: that has been said.
    const auto sayUnread = [&faultTold] {
        if (!faultTold || !faultTold()) rt::MessageBox("错误", document::kUnreadDocument, rt::Icon::StopSign);
    };
    try {
        // The check has said why it refuses, or the user declined a version number.
        if (steps.check() != 1) return;
        progress.Show();
        const Prepared prepared = steps.prepare();
        if (prepared.result != 1) {
            // A page could not be read; the database has said why.
            progress.Hide();
            sayUnread();
            return;
        }
        steps.print(prepared.buffer);
        progress.Hide();
        // Runs whether or not the form document was made: it reports an unreachable engine itself.
        steps.print789(prepared.buffer);
    } catch (const document::UnreadPage&) {
        // As when the print buffer cannot be read: the same failure, the same words.
        progress.Hide();
        sayUnread();
    } catch (const std::exception& e) {
        progress.Hide();
        rt::MessageBox("错误", std::string("生成word版本推荐书失败：") + e.what(), rt::Icon::StopSign);
    }
}

}  // namespace laurel::check
