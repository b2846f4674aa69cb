// Times the Export and Import commands on one full recommendation (every list at its page's limit,
// every text at its column's width), and measures the memory that importing a package at the size
// limits takes. The commands run on the real main window over a scratch database, with scripted
// dialogs; the times include what the user waits for (the import re-reads the list and the pages).
//
//   exchange_bench [runs]           export and import, each `runs` times (default 50), and the sizes
//                                   of the members of one full recommendation
//   exchange_bench --caps [FOLDER]  makes the packages that take the most memory to import, and
//                                   imports each once, printing the growth of the peak resident
//                                   memory during the import: at the limits (four members at the
//                                   largest text the reader takes, one of them holding as much markup
//                                   as a member may); with a member declared GBK, and one in UTF-16,
//                                   at the largest file the package may hold; and with 300,000 empty
//                                   entries beside the members. Kept in FOLDER when given.
//   exchange_bench --import FILE    only imports FILE, in a process that did nothing else before:
//                                   to run under /usr/bin/time -v or heaptrack
//
// Needs a display (QT_QPA_PLATFORM=offscreen will do).

#include <malloc.h>
#include <zip.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "bench/full_recommendation.h"
#include "exchange/package.h"
#include "records/m_main.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/formats/xml.h"
#include "runtime/formats/zip.h"
#include "runtime/testing/scripted_dialogs.h"
#include "runtime/text/text.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/window.h"
#include "schema/dataobjects.h"
#include "tests/support/scratch_database.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kId = "202612340001";

using bench::Fail;

struct Figures {
    double min, median, max;
};

Figures Summary(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

void Expect(rt::ScriptedDialogs& d, const std::string& text) {
    if (d.messages.empty() || d.messages.back().request.text != text || d.Unexpected() != 0)
        Fail("expected \"" + text + "\", got:\n" + d.Transcript());
}

// Kilobytes of the process's current and peak resident memory.
long Status(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    return -1;
}

// The members of a package, unpacked into `scratch`.
void Unpack(const fs::path& package, const fs::path& scratch) {
    rt::Zip z;
    z.filestoprocess = "*";
    z.preservepaths = false;
    z.processsubfolders = true;
    z.unziptofolder = scratch.string();
    z.zipfilename = package.string();
    if (z.unzip() != 0) Fail("unpacking " + package.string());
}

void Pack(const fs::path& scratch, const fs::path& out) {
    rt::Zip z;
    z.filestoprocess = scratch.string() + "/*";
    z.preservepaths = false;
    z.zipfilename = out.string();
    if (z.zip() != 0) Fail("packing " + out.string());
}

// A package at the limits: four members each of the largest text the reader takes (one with as much
// markup as a member may hold, three of one long value), the rest as exported.
void MakeCapsPackage(const fs::path& exported, const fs::path& out, const fs::path& scratch) {
    Unpack(exported, scratch);
    const std::size_t size = rt::xml::kMaxTextSize;
    std::string markup = "<r>";
    const std::size_t elements = rt::xml::kMaxMarkup / 2 - 10;  // each "<a>x</a>" holds two '<'
    for (std::size_t i = 0; i < elements; ++i) markup += "<a>x</a>";
    markup += "<b>";
    markup.append(size - markup.size() - 8, 'x');
    markup += "</b></r>";
    std::ofstream(scratch / "xm_ry.xml", std::ios::binary) << markup;
    for (const char* member : {"xm_dw.xml", "xm_xy.xml", "xm_hj.xml"}) {
        std::string text = "<r><row><c>";
        text.append(size - 25, 'x');
        text += "</c></row></r>";
        std::ofstream(scratch / member, std::ios::binary) << text;
    }
    Pack(scratch, out);
}

// A package whose project member is declared in `encoding` and holds, in its name, as much Chinese as
// the largest file the package may hold takes, the other members as exported.
void MakeEncodedPackage(const fs::path& exported, const fs::path& out, const fs::path& scratch,
                        const char* encoding) {
    Unpack(exported, scratch);
    const fs::path base = scratch / "xm_base.xml";
    std::ifstream in(base, std::ios::binary);
    std::string xml((std::istreambuf_iterator<char>(in)), {});
    in.close();
    const std::size_t begin = xml.find("<xm_name>") + 9, end = xml.find("</xm_name>");
    const std::size_t declaration = xml.find("?>") + 2;
    xml = std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>" +
          xml.substr(declaration, begin - declaration) + "\x01" + xml.substr(end);
    rt::Iconv to(encoding, "UTF-8");
    const std::size_t skeleton = to.Convert(xml)->size();
    const std::size_t perCharacter = to.Convert("项")->size();
    std::string name;
    for (std::size_t n = 0; n < (rt::kMaxEntrySize - skeleton - 16) / perCharacter; ++n) name += "项";
    xml.replace(xml.find('\x01'), 1, name);
    std::ofstream(base, std::ios::binary) << *to.Convert(xml);
    Pack(scratch, out);
}

// The exported package with 300,000 empty entries beside its members.
void MakeManyEntriesPackage(const fs::path& exported, const fs::path& out) {
    fs::copy_file(exported, out, fs::copy_options::overwrite_existing);
    int error = 0;
    zip_t* z = zip_open(out.c_str(), 0, &error);
    if (z == nullptr) Fail("opening " + out.string());
    for (int i = 0; i < 300000; ++i) {
        const std::string name = "e" + std::to_string(i);
        zip_source_t* empty = zip_source_buffer(z, nullptr, 0, 0);
        if (empty == nullptr || zip_file_add(z, name.c_str(), empty, 0) < 0) Fail("adding " + name);
    }
    if (zip_close(z) != 0) Fail("writing " + out.string());
}

// The unpacked size of each member of a package, largest first.
void PrintMemberSizes(const fs::path& package) {
    int error = 0;
    zip_t* z = zip_open(package.c_str(), ZIP_RDONLY, &error);
    if (z == nullptr) Fail("opening " + package.string());
    std::vector<std::pair<zip_uint64_t, std::string>> sizes;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) == 0)
            sizes.emplace_back(st.size, st.name);
    }
    zip_discard(z);
    std::sort(sizes.rbegin(), sizes.rend());
    std::printf("members of one full recommendation, unpacked:");
    for (const auto& [size, name] : sizes)
        std::printf(" %s %.1f KiB", name.c_str(), static_cast<double>(size) / 1024);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool caps = mode == "--caps";
    const bool importOnly = mode == "--import" && argc > 2;
    const int runs = !caps && !importOnly && argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    QApplication app(argc, argv);
    testing_support::ScratchDatabase db;
    std::string error;
    if (!db.Create(error)) Fail("creating the database: " + error);
    schema::RegisterDataObjects();
    if (!testing_support::ConnectToSource(laurel::sqlca, false, error)) Fail(error);
    bench::SeedFullRecommendation(laurel::sqlca, kId);

    auto scripted = std::make_unique<rt::ScriptedDialogs>();
    rt::ScriptedDialogs& d = *scripted;
    rt::ui::SetDialogs(std::move(scripted));
    auto window = std::make_unique<laurel::win::j_main_mdi>();
    laurel::j_main_mdi = window.get();
    if (rt::ui::Open(*window) != 1) Fail("the main window did not open");
    const fs::path program = db.Folder() / "program";
    fs::create_directories(program);
    laurel::current_path = program.string();
    auto* menu = dynamic_cast<laurel::records::m_main*>(window->GetMenu());

    const fs::path package = db.Folder() / "full.DAT";
    auto exportOnce = [&] {
        d.Clear();
        d.Answer(1);
        d.AnswerFile({1, package.string(), package.filename().string()});
        const auto start = Clock::now();
        laurel::exchange::ExportCheckedRecommendation(
            {*window->dw_ds_base, *window->dw_ds_dw, *window->dw_ds_ry, *window->dw_ds_getaward,
             *window->dw_ds_xy, *window->dw_ds_yy, *window->dw_ds_zl},
            window->ole_1->Object(), laurel::current_id, laurel::WorkingFolder());
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        Expect(d, "导出成功！");
        return ms;
    };
    auto importOnce = [&](const fs::path& file, const std::string& outcome) {
        bench::DeleteFullRecommendation(laurel::sqlca, kId);
        d.Clear();
        for (int i = 0; i < 3; ++i) d.Answer(1);
        d.AnswerFile({1, file.string(), file.filename().string()});
        const auto start = Clock::now();
        menu->import_clicked();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        Expect(d, outcome);
        return ms;
    };

    auto memoryOfImport = [&](const fs::path& file) {
        // The memory that preparing the package took goes back to the system before the count.
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = Status("VmRSS:");
        const double ms = importOnce(file, "推荐书导入失败!");
        const long peak = Status("VmHWM:");
        std::printf("import of %s (%.1f MiB): %.1f ms, refused with:\n", file.filename().c_str(),
                    static_cast<double>(fs::file_size(file)) / (1 << 20), ms);
        for (const auto& r : d.messages)
            std::printf("  %s | %s\n", r.request.title.c_str(), r.request.text.c_str());
        std::printf(
            "resident memory before %.1f MiB, peak during the import %.1f MiB: the import took %.1f MiB\n",
            before / 1024.0, peak / 1024.0, (peak - before) / 1024.0);
    };
    if (importOnly) {
        memoryOfImport(argv[2]);
    } else if (caps) {
        exportOnce();
        const fs::path folder = argc > 2 ? fs::path(argv[2]) : db.Folder();
        fs::create_directories(folder);
        MakeCapsPackage(package, folder / "caps.DAT", db.Folder() / "caps");
        MakeEncodedPackage(package, folder / "gbk.DAT", db.Folder() / "gbk", "GBK");
        MakeEncodedPackage(package, folder / "utf16.DAT", db.Folder() / "utf16", "UTF-16");
        MakeManyEntriesPackage(package, folder / "many.DAT");
        for (const char* name : {"caps.DAT", "gbk.DAT", "utf16.DAT", "many.DAT"})
            memoryOfImport(folder / name);
    } else {
        exportOnce();
        std::printf("package of one full recommendation: %.1f KiB\n",
                    static_cast<double>(fs::file_size(package)) / 1024);
        PrintMemberSizes(package);
        std::vector<double> exports, imports;
        for (int i = 0; i < runs; ++i) exports.push_back(exportOnce());
        for (int i = 0; i < runs; ++i) imports.push_back(importOnce(package, "成功导入一份推荐书!"));
        const Figures e = Summary(exports), m = Summary(imports);
        std::printf("export of one full recommendation: min %.2f ms  median %.2f ms  max %.2f ms\n", e.min,
                    e.median, e.max);
        std::printf("import of one full recommendation: min %.2f ms  median %.2f ms  max %.2f ms\n", m.min,
                    m.median, m.max);
    }
    std::fflush(stdout);

    laurel::current_id = laurel::kNoRecommendation;
    rt::ui::Close(*window);
    laurel::j_main_mdi = nullptr;
    laurel::sqlca.Disconnect();
    return 0;
}
