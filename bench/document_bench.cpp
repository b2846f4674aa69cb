// Times the two document steps of the Print command on one full recommendation (every list at its
// page's limit, every text at its column's width), from the template the build makes, and the
// password hash of the protection on its own. The steps run as the command runs them, reading
// their pages from a scratch database; the lists document's time includes its protection, so
// its time without the hash is printed too.
//
//   document_bench [runs]             each document `runs` times (default 50): the median per fill
//   document_bench --keep DIR [runs]  also keeps the last form and lists documents in DIR, as
//                                     form.docx and lists.docx
//   document_bench --form ...         the form document alone, as bench/document_vs_python_docx
//                                     compares it
//
// Needs no display.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/full_recommendation.h"
#include "check/check.h"
#include "document/documents.h"
#include "document/working_document.h"
#include "runtime/datawindow/datawindow.h"
#include "runtime/testing/scripted_dialogs.h"
#include "runtime/word/word.h"
#include "schema/dataobjects.h"
#include "tests/support/scratch_database.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::Fail;

const std::string kId = "202612340001";

struct Figures {
    double median, least;
};

Figures Summary(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A page as the main window has it when the user prints: its object, bound to the transaction and
// read once for the recommendation.
struct Page {
    Page(const char* object, rt::Transaction& t) : dw(object) {
        dw.SetTransObject(t);
        const rt::DataWindowDef* def = dw.Definition();
        std::vector<rt::Value> args{rt::Value(kId)};
        if (def != nullptr && def->arguments.size() > 1) args.emplace_back(static_cast<std::int64_t>(1));
        if (dw.Retrieve(args) == -1) Fail(std::string("page ") + object + " could not be read");
    }
    rt::DataWindow dw;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool formOnly = !args.empty() && args[0] == "--form";
    if (formOnly) args.erase(args.begin());
    fs::path keep;
    if (args.size() >= 2 && args[0] == "--keep") {
        keep = fs::absolute(args[1]);
        args.erase(args.begin(), args.begin() + 2);
        fs::create_directories(keep);
    }
    const int runs = args.empty() ? 50 : std::max(1, std::atoi(args[0].c_str()));

    testing_support::ScratchDatabase db;
    std::string error;
    if (!db.Create(error)) Fail("creating the database: " + error);
    schema::RegisterDataObjects();
    rt::Transaction sqlca;
    if (!testing_support::ConnectToSource(sqlca, false, error)) Fail(error);
    bench::SeedFullRecommendation(sqlca, kId);

    auto scripted = std::make_unique<rt::ScriptedDialogs>();
    rt::ScriptedDialogs& dialogs = *scripted;
    rt::SetDialogs(std::move(scripted));

    Page dw1("dw_1", sqlca), dw2("dw_2", sqlca), dw3("dw_3", sqlca), dw4("dw_4", sqlca),
        dw512("dw_512", sqlca), dw522("dw_522", sqlca), dw53("dw_53", sqlca), dw71("dw_71", sqlca),
        dw92("dw_92", sqlca), dw94("dw_94", sqlca), dw51("dw_51", sqlca), dw52("dw_52", sqlca),
        dw6("dw_6", sqlca), dw72("dw_72", sqlca), dw82("dw_82", sqlca), dw91("dw_91", sqlca),
        dw93("dw_93", sqlca);
    const laurel::check::Prepared prepared = laurel::check::all_prepare(
        {dw1.dw, dw2.dw, dw3.dw, dw4.dw, dw512.dw, dw522.dw, dw53.dw, dw71.dw, dw92.dw, dw94.dw}, kId);
    if (prepared.result != 1) Fail("the print buffer could not be made");
    const laurel::document::FormPages form{dw51.dw, dw52.dw, dw6.dw};
    const laurel::document::ListPages lists{dw72.dw, dw82.dw, dw91.dw, dw93.dw};

    const std::string working = (db.Folder() / "work").string();
    fs::create_directories(working);
    const std::string document = laurel::document::WorkingDocumentPath(working, prepared.buffer.xm_askno);

    std::vector<double> formTimes, listsTimes, hashTimes;
    // The hash alone, timed beside each lists document so that both run on a machine as busy.
    const auto timeHash = [&hashTimes] {
        const auto start = Clock::now();
        const std::string hash = rt::word::ProtectionHash("Ann is a cat", "0123456789abcdef", 100000);
        hashTimes.push_back(Since(start));
        if (hash.empty()) Fail("no hash");
    };
    for (int i = 0; i < runs; ++i) {
        const bool last = i + 1 == runs;
        auto start = Clock::now();
        if (laurel::document::all_print(prepared.buffer, form, kId, LAUREL_PROGRAM_FOLDER, working) != 1)
            Fail("the form document was not made:\n" + dialogs.Transcript());
        formTimes.push_back(Since(start));
        if (last && !keep.empty())
            fs::copy_file(document, keep / "form.docx", fs::copy_options::overwrite_existing);
        if (formOnly) continue;

        // The hand-over is declined, or made into the folder that keeps the documents.
        dialogs.Clear();
        if (last && !keep.empty())
            dialogs.AnswerFile({1, (keep / "lists.docx").string(), "lists.docx"});
        else
            dialogs.AnswerFile({0, {}, {}});
        start = Clock::now();
        if (laurel::document::all_print_789(prepared.buffer, lists, kId, working, working) != 1)
            Fail("the lists document was not made:\n" + dialogs.Transcript());
        listsTimes.push_back(Since(start));
        if (dialogs.Unexpected() != 0) Fail("unexpected boxes:\n" + dialogs.Transcript());
        timeHash();
    }

    const Figures formMs = Summary(formTimes);
    std::printf("fills per document: %d\n", runs);
    std::printf("form document:  median %.2f ms per fill (least %.2f ms)\n", formMs.median, formMs.least);
    if (formOnly) {
        std::fflush(stdout);
        sqlca.Disconnect();
        return 0;
    }
    while (hashTimes.size() < 5) timeHash();

    // A busy machine only ever adds time, and the hash alone varies by more than the rest of the
    // lists document takes: that rest is the difference of the two minima.
    const Figures listsMs = Summary(listsTimes), hashMs = Summary(hashTimes);
    std::printf(
        "lists document: median %.2f ms per fill (least %.2f ms; without the protection hash %.2f ms)\n",
        listsMs.median, listsMs.least, listsMs.least - hashMs.least);
    std::printf("protection hash alone (100000 rounds): median %.2f ms (least %.2f ms)\n", hashMs.median,
                hashMs.least);
    std::fflush(stdout);
    sqlca.Disconnect();
    return 0;
}
