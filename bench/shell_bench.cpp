// Times the program's start as a user sees it and the move from one section to another.
//
//   shell_bench            start-up: process start to the main window shown, less the splash's
//                          one second; then the section switches (page save and retrieval)
//
// Runs on a scratch database holding one recommendation being edited; needs a display
// (QT_QPA_PLATFORM=offscreen will do).

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
#include "runtime/transaction.h"
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

void Seed() {
    rt::Transaction t;
    t.DBMS = "ODBC";
    t.DBParm = "Connectstring='DSN=laurel'";
    if (t.Connect() != 0) {
        std::fprintf(stderr, "connect: %s\n", t.SQLErrText.c_str());
        std::exit(1);
    }
    const std::vector<std::string> statements = {
        "INSERT INTO j_xm_base (xm_id, xm_xg, xm_askno, xm_name, mj_secrcode, xm_fixsecrdate, xm_startdate, "
        "xm_finishdate, xm_zongtz, xm_huis, xm_guid) VALUES ('202612340001', '0', '2026 01AB', '基准项目', "
        "'4', "
        "'0001-01-01', '0001-01-01', '0001-01-01', 0, 0, 'FFFFFFFFFFFFFFFF')",
        "INSERT INTO j_ry_finish (xm_id, ry_no, ry_name) VALUES ('202612340001', 1, '张三')",
        "INSERT INTO j_dw_finish (xm_id, dw_no, dw_name) VALUES ('202612340001', 1, '省农业科学院')",
        "INSERT INTO j_xy_saving (xm_id, xy_year, xy_zhijorjianj, xy_addvalue) VALUES ('202612340001', "
        "'2025', "
        "'1', 0), ('202612340001', '2024', '1', 0), ('202612340001', '2023', '1', 0), ('202612340001', "
        "'2025', "
        "'0', 0), ('202612340001', '2024', '0', 0), ('202612340001', '2023', '0', 0)",
    };
    for (const auto& s : statements)
        if (t.Execute(s) != 0) {
            std::fprintf(stderr, "seed: %s\n", t.SQLErrText.c_str());
            std::exit(1);
        }
    t.Commit();
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
        for (int round = 0; round < 20; ++round)
            for (long h = 2; h <= 18; ++h) {
                const auto start = Clock::now();
                w->tv_1->SelectItem(h);
                ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            }
        std::sort(ms.begin(), ms.end());
        std::printf(
            "section switch with its page save and retrieval: min %.2f ms  median %.2f ms  max %.2f ms\n",
            ms.front(), ms[ms.size() / 2], ms.back());
        std::fflush(stdout);
        // The measurement is done; the window's own close would ask to save.
        std::error_code ec;
        std::filesystem::remove_all(scratch->Folder(), ec);
        std::_Exit(0);
    }
};

}  // namespace

int main(int argc, char** argv) {
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
