// Times the program's start as a user sees it, the reading of the recommendation list and the move
// from one section to another.
//
//   shell_bench [recommendations]   start-up: process start to the main window shown, less the
//                                   splash's one second; the list read again by the main window;
//                                   then the section switches (page save and retrieval) with an
//                                   edit on every page, as a person typing through the sections
//
// Runs on a scratch database holding that many recommendations being edited (1 by default), each
// with a contributor, a unit and its six yearly rows; the back end is the tests' (SQLite, or
// LAUREL_TEST_DATABASE=postgresql with LAUREL_TEST_PGHOST). Needs a display (QT_QPA_PLATFORM=offscreen
// will do).

#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "app/laurel.h"
#include "runtime/database/transaction.h"
#include "sections/section_table.h"
#include "tests/support/scratch_database.h"

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds since this process started, from the kernel's record of its start.
double SinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22 (starttime, in clock ticks since boot) follows the command name in parentheses.
    std::istringstream rest(content.substr(content.rfind(')') + 2));
    std::string field;
    unsigned long long start = 0;
    for (int i = 3; i <= 22 && rest >> field; ++i)
        if (i == 22) start = std::stoull(field);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - start * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long recommendations = 1;

[[noreturn]] void Fail(const char* what, const rt::Transaction& t) {
    std::fprintf(stderr, "%s: %s\n", what, t.SQLErrText.c_str());
    std::exit(1);
}

void Seed() {
    rt::Transaction t;
    t.DBMS = "ODBC";
    t.DBParm = "Connectstring='DSN=laurel'";
    if (t.Connect() != 0) Fail("connect", t);
    const char* const statements[] = {
        "INSERT INTO j_xm_base (xm_id, xm_xg, xm_askno, xm_name, mj_secrcode, xm_fixsecrdate, xm_startdate, "
        "xm_finishdate, xm_zongtz, xm_huis, xm_guid) VALUES (?, '0', ?, ?, '4', '0001-01-01', '0001-01-01', "
        "'0001-01-01', 0, 0, 'FFFFFFFFFFFFFFFF')",
        "INSERT INTO j_ry_finish (xm_id, ry_no, ry_name) VALUES (?, 1, '张三')",
        "INSERT INTO j_dw_finish (xm_id, dw_no, dw_name) VALUES (?, 1, '省农业科学院')",
        "INSERT INTO j_xy_saving (xm_id, xy_year, xy_zhijorjianj, xy_addvalue) VALUES (?, ?, ?, 0)",
    };
    std::vector<rt::DynamicStagingArea> staged(std::size(statements));
    for (std::size_t i = 0; i < staged.size(); ++i)
        if (staged[i].Prepare(t, statements[i]) != 0) Fail("prepare", t);
    for (long n = 1; n <= recommendations; ++n) {
        char id[32], askno[32];
        // Twelve digits whatever the count: past 9999 the random part moves on.
        std::snprintf(id, sizeof id, "2026%04ld%04ld", 1234 + n / 10000, n % 10000);
        std::snprintf(askno, sizeof askno, "%04ld %02ldAB", n % 10000, n % 100);
        const std::string key = id;
        bool ok =
            staged[0].Execute({key, std::string(askno), "基准项目第" + std::to_string(n) + "号"}) == 0 &&
            staged[1].Execute({key}) == 0 && staged[2].Execute({key}) == 0;
        for (const char* kind : {"1", "0"})
            for (const char* year : {"2025", "2024", "2023"})
                ok = ok && staged[3].Execute({key, std::string(year), std::string(kind)}) == 0;
        if (!ok) Fail("seed", t);
    }
    if (t.Commit() != 0) Fail("commit", t);
}

std::string Figures(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    char out[96];
    std::snprintf(out, sizeof out, "min %.2f ms  median %.2f ms  max %.2f ms", ms.front(), ms[ms.size() / 2],
                  ms.back());
    return out;
}

// An edit of the first plain text field of the page's first row, as typing would make it.
void Type(rt::ui::DataWindowControl& page, int n) {
    if (page.RowCount() < 1) return;
    for (const rt::ColumnDef& c : page.Definition()->columns)
        if (c.updatable && !c.key && c.type == rt::ColType::Char && c.length >= 8 && c.mask.empty()) {
            page.SetItem(1, c.name, "e" + std::to_string(n));
            return;
        }
}

// Time spent making the scratch database, which the real program does not do.
double setupMs = 0;
const testing_support::ScratchDatabase* scratch = nullptr;

class Bench : public laurel::win::laurel {
  public:
    void open(const std::string& commandline) override {
        ::laurel::win::laurel::open(commandline);
        QApplication::processEvents();
        std::printf("start-up to the main window shown, less the 1 s splash: %.1f ms\n",
                    SinceProcessStart() - setupMs - 1000.0);

        auto* w = ::laurel::j_main_mdi;
        std::vector<double> ms;
        for (int round = 0; round < 20; ++round) {
            const ::laurel::Command command;
            const auto start = Clock::now();
            if (w->Sections().retrievelist() != recommendations) Fail("the list", ::laurel::sqlca);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::printf("list of %ld recommendations read again: %s\n", recommendations, Figures(ms).c_str());

        // Through every section, first as a reader, then typing into the pages that leaving each
        // section saves, so that every switch writes.
        for (const bool typing : {false, true}) {
            ms.clear();
            int typed = 0;
            for (int round = 0; round < 20; ++round)
                for (long h = 2; h <= 18; ++h) {
                    const auto* left = ::laurel::sections::SectionAt(::laurel::current_page);
                    if (typing && left != nullptr)
                        for (auto page : left->saved) Type(w->Sections().PageOf(page), ++typed);
                    const ::laurel::Command command;
                    const auto start = Clock::now();
                    w->tv_1->SelectItem(h);
                    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                }
            std::printf("section switch with its page save and retrieval%s: %s\n",
                        typing ? ", every page edited" : "", Figures(ms).c_str());
        }
        std::fflush(stdout);
        // The measurement is done; the window's own close would ask to save.
        std::error_code ec;
        std::filesystem::remove_all(scratch->Folder(), ec);
        std::_Exit(0);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && argv[1][0] != '-') recommendations = std::clamp(std::atol(argv[1]), 1L, 99999L);
    const auto setupStart = Clock::now();
    testing_support::ScratchDatabase db;
    scratch = &db;
    std::string error;
    if (!db.Create(error)) {
        std::fprintf(stderr, "creating the database: %s\n", error.c_str());
        return 1;
    }
    Seed();
    setupMs = std::chrono::duration<double, std::milli>(Clock::now() - setupStart).count();
    Bench app;
    return app.Run(argc, argv);
}
