// Times the two DataWindow operations the program does most: retrieving the recommendation list
// over a large database, and retrieving and writing back one project form; and how the time of a
// fetch, of a retrieval and of its write-back grows with the rows: per row at four times the rows
// as at the rows asked for, where an engine that is linear in the rows stays near 1. Runs on a
// scratch database of its own.
//
//   datawindow_bench [rows]      (default 10000)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/datawindow/datawindow.h"
#include "schema/dataobjects.h"
#include "tests/support/scratch_database.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double min, median, max;
};

template <class F>
Figures Time(int runs, F&& body) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        body();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

void Print(const char* what, Figures f) {
    std::printf("%-52s min %8.3f ms  median %8.3f ms  max %8.3f ms\n", what, f.min, f.median, f.max);
}

[[noreturn]] void Fail(const std::string& what, const rt::Transaction& t) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), t.SQLErrText.c_str());
    std::exit(1);
}

// Recommendations `from` to `to`, committed.
void Fill(rt::Transaction& sqlca, long from, long to) {
    rt::DynamicStagingArea sqlsa;
    if (sqlsa.Prepare(
            sqlca,
            "INSERT INTO j_xm_base ( xm_id, xm_askno, xm_name, xm_xg, xm_guid ) VALUES (?, ?, ?, '0', "
            "'FFFFFFFFFFFFFFFF')") != 0)
        Fail("prepare", sqlca);
    for (long i = from; i <= to; ++i) {
        char id[16], askno[16];
        std::snprintf(id, sizeof id, "20261234%04ld", i % 10000);
        std::snprintf(askno, sizeof askno, "%04ld %02ldAB", i % 10000, i % 100);
        std::string key = std::string(id) + (i >= 10000 ? std::to_string(i / 10000) : "");
        if (sqlsa.Execute({key, std::string(askno),
                           "推荐书项目名称第" + std::to_string(i) + "号：一种测试用的项目"}) != 0)
            Fail("insert", sqlca);
    }
    if (sqlca.Commit() != 0) Fail("commit", sqlca);
}

// The median milliseconds of a fetch of every recommendation, of a retrieval of the list, and of
// the write-back of one change and one deletion (rolled back), over `rows` rows.
struct Growth {
    double ms[3];
};
Growth MeasureGrowth(rt::Transaction& sqlca, long rows) {
    Growth g{};
    std::vector<std::vector<rt::Value>> fetched;
    g.ms[0] =
        Time(5, [&] {
            fetched.clear();
            if (sqlca.Query("SELECT xm_id, xm_askno, xm_name, xm_xg FROM j_xm_base", {}, fetched) != 0 ||
                static_cast<long>(fetched.size()) != rows)
                Fail("fetch", sqlca);
            sqlca.Rollback();
        }).median;
    rt::DataWindow list("dw");
    list.SetTransObject(sqlca);
    g.ms[1] = Time(5, [&] {
                  if (list.Retrieve() != rows) Fail("retrieve dw", sqlca);
              }).median;
    std::vector<double> updates;
    for (int i = 0; i < 5; ++i) {
        if (list.Retrieve() != rows) Fail("retrieve dw", sqlca);
        list.SetItem(rows - 1, "xm_name", "改过的名称");
        list.DeleteRow(rows / 2);
        const auto start = Clock::now();
        if (list.Update() != 1) Fail("update dw", sqlca);
        updates.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        sqlca.Rollback();
    }
    std::sort(updates.begin(), updates.end());
    g.ms[2] = updates[updates.size() / 2];
    return g;
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 10000;
    testing_support::ScratchDatabase db;
    std::string error;
    if (!db.Create(error)) {
        std::fprintf(stderr, "creating the database: %s\n", error.c_str());
        return 1;
    }
    schema::RegisterDataObjects();

    rt::Transaction sqlca;
    if (!testing_support::ConnectToSource(sqlca, false, error)) Fail("connect", sqlca);

    Fill(sqlca, 1, rows);
    std::printf("%ld recommendations in the database\n", rows);

    rt::DataWindow list("dw");
    list.SetTransObject(sqlca);
    long got = 0;
    Print("Retrieve of the recommendation list `dw`", Time(20, [&] { got = list.Retrieve(); }));
    if (got != rows) {
        std::fprintf(stderr, "list retrieved %ld rows, expected %ld\n", got, rows);
        return 1;
    }

    rt::DataWindow form("dw_1");
    form.SetTransObject(sqlca);
    const std::string id = "202612340001";
    int n = 0;
    Print("Retrieve + Update of one `dw_1` row (no COMMIT)", Time(200, [&] {
              if (form.Retrieve({id}) != 1) Fail("retrieve dw_1", sqlca);
              form.SetItem(1, "xm_name", "修改后的项目名称" + std::to_string(++n));
              if (form.Update() != 1) Fail("update dw_1", sqlca);
          }));
    sqlca.Rollback();

    // Growth: the same three steps over the rows asked for and over four times as many.
    std::vector<Growth> at;
    at.push_back(MeasureGrowth(sqlca, rows));
    Fill(sqlca, rows + 1, 4 * rows);
    at.push_back(MeasureGrowth(sqlca, 4 * rows));
    const char* steps[] = {"fetch (Transaction::Query)", "Retrieve of `dw`",
                           "Update of `dw` (one change, one deletion)"};
    for (int k = 0; k < 3; ++k) {
        const double small = at[0].ms[k] / static_cast<double>(rows);
        const double large = at[1].ms[k] / static_cast<double>(4 * rows);
        std::printf("%-44s %8.4f ms/row at %ld, %8.4f ms/row at %ld: growth %.2f\n", steps[k], small, rows,
                    large, 4 * rows, large / small);
    }
    return 0;
}
