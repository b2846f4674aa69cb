#pragma once
// The Print command's chain: the check (with its version number), then the print buffer and the
// form document under the progress text, then the lists document once the progress text is gone.
// The command is handed every page the steps read, so it runs each step itself and nothing calls
// back into the menu that started it.

#include <functional>
#include <string>

#include "check/check.h"
#include "document/documents.h"
#include "document/print_buffer.h"
#include "runtime/database/transaction.h"

namespace laurel::check {

// The notice that the document is being made. Show must put it on screen before it returns: the
// work it announces follows at once.
struct ProgressText {
    std::function<void()> Show;
    std::function<void()> Hide;
};

// Every page the Print command reads, step by step.
struct PrintPages {
    CheckedPages checked;
    PreparedPages prepared;
    document::FormPages form;
    document::ListPages lists;
};

// Where the recommendation and its files are.
struct PrintPlace {
    rt::Transaction& sqlca;
    std::string current_id;
    std::string program_folder;  // the form template lies under model/ in it
    std::string working_folder;  // this copy's: the working document is made there
    std::string keeping_folder;  // every copy's: a document not handed over is kept there
};

// The steps of the chain.
struct PrintSteps {
    std::function<int()> check;                                 // 1: complete, with its version number
    std::function<Prepared()> prepare;                          // the print buffer
    std::function<int(const document::PrintBuffer&)> print;     // the form document
    std::function<int(const document::PrintBuffer&)> print789;  // the lists document and its hand-over
};

// Runs the chain of all_check, all_prepare, all_print and all_print_789 on the pages. The caller
// saves what the pages hold first. `checked` runs once the check has passed, before the document
// is made: what the caller does with the recommendation's state is done while the command still
// works with the database, never after the document has been handed over.
void RunPrintCommand(const ProgressText& progress, const PrintPages& pages, const PrintPlace& place,
                     const std::function<void()>& checked = {});

// Runs the chain of the given steps. A failure that a step throws (the word-processing engine refusing a call
// part-way, a page that cannot be read) and a print buffer that cannot be filled end the command with one
// message under "错误" and the progress text hidden; nothing leaves the event handler.
// `faultTold`, when given, says whether a page that could not be read failed because the
// transaction was lost, which has been said already: the command then says nothing more.
void RunPrintCommand(const ProgressText& progress, const PrintSteps& steps,
                     const std::function<bool()>& faultTold = {});

}  // namespace laurel::check
