#include "bench/full_recommendation.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "runtime/datawindow/dwdef.h"

namespace bench {

namespace {

void Run(rt::Transaction& t, const std::string& sql, const std::vector<rt::Value>& args = {}) {
    if (t.Execute(sql, args) != 0) Fail(sql + ": " + t.SQLErrText);
}

// The value a full recommendation holds in the column.
rt::Value Full(const rt::ColumnDef& c, const std::string& id, long n) {
    if (c.name == "xm_id") return rt::Value(id);
    if (c.name == "xm_xg" || c.name == "sf_submit") return rt::Value("1");
    if (c.name == "xy_zhijorjianj") return rt::Value(n % 2 == 0 ? "1" : "0");
    if (c.name == "xy_year") return rt::Value(std::to_string(2020 + (n - 1) / 2));
    switch (c.type) {
        case rt::ColType::Char: {
            std::string text;
            for (int k = 0; k < c.length / 2; ++k) text += "项";
            if (c.length % 2 == 1) text += "x";
            return rt::Value(text);
        }
        case rt::ColType::Date:
            return rt::Value("2020-05-17");
        case rt::ColType::Decimal:
            return rt::Value("1234567.89");
        case rt::ColType::Long:
            return rt::Value(static_cast<std::int64_t>(n));
        case rt::ColType::Real:
            return rt::Value(2.5);
    }
    return {};
}

}  // namespace

void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}

void SeedFullRecommendation(rt::Transaction& t, const std::string& id) {
    const std::vector<std::pair<const char*, long>> tables = {
        {"dw_base", 1},      {"dw_ry", 15}, {"dw_dw", 9}, {"dw_xy", 6},
        {"dw_getaward", 10}, {"dw_yy", 12}, {"dw_zl", 12}};
    for (const auto& [object, rows] : tables) {
        const rt::DataWindowDef* def = rt::FindDefinition(object);
        for (long n = 1; n <= rows; ++n) {
            std::string columns, marks;
            std::vector<rt::Value> args;
            for (const rt::ColumnDef& c : def->columns) {
                columns += (columns.empty() ? "" : ", ") + c.name;
                marks += marks.empty() ? "?" : ", ?";
                args.push_back(Full(c, id, n));
            }
            Run(t, "INSERT INTO " + def->updateTable + " (" + columns + ") VALUES (" + marks + ")", args);
        }
    }
    if (t.Commit() != 0) Fail("commit: " + t.SQLErrText);
}

void DeleteFullRecommendation(rt::Transaction& t, const std::string& id) {
    for (const char* table : {"j_xm_base", "j_ry_finish", "j_dw_finish", "j_xy_saving", "j_jx_getaward",
                              "j_yy_app", "j_zl_patent"})
        Run(t, std::string("DELETE FROM ") + table + " WHERE xm_id = ?", {id});
    if (t.Commit() != 0) Fail("commit: " + t.SQLErrText);
}

}  // namespace bench
