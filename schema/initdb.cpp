#include "schema/initdb.h"

#include <sqlite3.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "runtime/platform/files.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace schema::embedded {
extern const std::string_view schema_sql;
extern const std::string_view recomdept_tsv;
extern const std::string_view xuekdm_tsv;
}  // namespace schema::embedded

namespace schema {
namespace {

namespace fs = std::filesystem;

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// The database file that this call created; removed again unless the creation went through, so
// that a failed run never leaves a half-made database that a later run would refuse to replace.
class OwnedFile {
  public:
    explicit OwnedFile(fs::path path) : path_(std::move(path)) {}
    ~OwnedFile() {
        if (keep_) return;
        std::error_code ec;
        fs::remove(path_, ec);
    }
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;
    void Keep() { keep_ = true; }

  private:
    fs::path path_;
    bool keep_ = false;
};

std::string SqliteError(sqlite3* db, std::string_view what) {
    return std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

// Column limits count bytes of GBK text. GB18030 is GBK's superset and gives every character that
// GBK lacks four bytes, so such a character can never slip past a limit. nullopt: not valid UTF-8.
std::optional<std::size_t> GbkLength(std::string_view utf8) {
    rt::Iconv cd("GB18030", "UTF-8");
    const std::optional<std::string> gbk = cd.Convert(utf8);
    if (!gbk) return std::nullopt;
    return gbk->size();
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// What a field of a code table must look like.
struct FieldRule {
    std::string_view name;
    enum Kind { Code, Digits, Text, Number } kind;
    std::size_t length;  // Code: at most; Digits: exactly; Text: at most (GBK bytes); Number: unused
};

// One row of a code-table file, the fields in the file's column order.
struct Row {
    int line = 0;
    std::vector<std::string> fields;
};

std::string Where(std::string_view file, int line) {
    return std::string(file) + ", line " + std::to_string(line) + ": ";
}

bool CheckField(std::string_view file, int line, const FieldRule& rule, const std::string& value,
                std::string& error) {
    const std::string at = Where(file, line) + std::string(rule.name) + " \"" + value + "\" ";
    switch (rule.kind) {
        case FieldRule::Code:
            if (value.empty()) {
                error = Where(file, line) + std::string(rule.name) + " is empty";
                return false;
            }
            for (unsigned char c : value) {
                if (c <= ' ' || c >= 0x7f) {
                    error = at + "must be printable ASCII without blanks";
                    return false;
                }
            }
            if (value.size() > rule.length) {
                error = at + "is longer than " + std::to_string(rule.length) + " bytes";
                return false;
            }
            return true;
        case FieldRule::Digits:
            if (value.size() != rule.length || !AllDigits(value)) {
                error = at + "must be exactly " + std::to_string(rule.length) + " digits";
                return false;
            }
            return true;
        case FieldRule::Text: {
            if (value.empty()) {
                error = Where(file, line) + std::string(rule.name) + " is empty";
                return false;
            }
            const auto len = GbkLength(value);
            if (!len) {
                error = at + "is not valid UTF-8";
                return false;
            }
            if (*len > rule.length) {
                error = at + "takes " + std::to_string(*len) + " bytes in GBK, more than " +
                        std::to_string(rule.length);
                return false;
            }
            return true;
        }
        case FieldRule::Number: {
            std::int64_t n = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (!AllDigits(value) || ec != std::errc() || end != value.data() + value.size() || n < 1 ||
                n > INT32_MAX) {
                error = at + "must be a whole number from 1 to " + std::to_string(INT32_MAX);
                return false;
            }
            return true;
        }
    }
    return false;
}

// Reads a tab-separated code-table file: a header line naming the columns in order, then one row a
// line. Carriage returns before a line end are dropped and empty lines are skipped.
bool ParseCodeFile(std::string_view file, std::string_view text, const std::vector<FieldRule>& rules,
                   std::vector<Row>& rows, std::string& error) {
    bool header = true;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t nl = text.find('\n');
        std::string_view l = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (l.empty()) continue;

        std::vector<std::string> fields;
        for (;;) {
            const std::size_t tab = l.find('\t');
            fields.emplace_back(l.substr(0, tab));
            if (tab == std::string_view::npos) break;
            l.remove_prefix(tab + 1);
        }
        if (fields.size() != rules.size()) {
            error = Where(file, line) + std::to_string(fields.size()) + " fields where " +
                    std::to_string(rules.size()) + " are expected";
            return false;
        }
        if (header) {
            for (std::size_t i = 0; i < rules.size(); ++i) {
                if (fields[i] != rules[i].name) {
                    error = Where(file, line) + "the header names column " + std::to_string(i + 1) + " \"" +
                            fields[i] + "\" where \"" + std::string(rules[i].name) + "\" is expected";
                    return false;
                }
            }
            header = false;
            continue;
        }
        for (std::size_t i = 0; i < rules.size(); ++i)
            if (!CheckField(file, line, rules[i], fields[i], error)) return false;
        rows.push_back({line, std::move(fields)});
    }
    if (header) {
        error = std::string(file) + ": the header line is missing";
        return false;
    }
    if (rows.empty()) {
        error = std::string(file) + ": no rows";
        return false;
    }
    return true;
}

const std::vector<FieldRule> kRecomdeptRules = {
    {"st_code", FieldRule::Code, 5},
    {"st_chdescr", FieldRule::Text, 100},
};

const std::vector<FieldRule> kXuekdmRules = {
    {"xk_1", FieldRule::Digits, 3},   {"xk_2", FieldRule::Digits, 2},  {"xk_3", FieldRule::Digits, 2},
    {"xk_name", FieldRule::Text, 40}, {"xk_xh", FieldRule::Number, 0},
};

bool ReadRecomdept(std::string_view text, std::vector<Row>& rows, std::string& error) {
    constexpr std::string_view file = "recomdept.tsv";
    if (!ParseCodeFile(file, text, kRecomdeptRules, rows, error)) return false;
    std::set<std::string> codes;
    for (const Row& r : rows) {
        if (!codes.insert(r.fields[0]).second) {
            error = Where(file, r.line) + "st_code \"" + r.fields[0] + "\" occurs twice";
            return false;
        }
    }
    return true;
}

// The subject picker builds a three-level tree from these rows, so a code must be unique and every
// second- or third-level code needs the row of its parent.
bool ReadXuekdm(std::string_view text, std::vector<Row>& rows, std::string& error) {
    constexpr std::string_view file = "xuekdm.tsv";
    if (!ParseCodeFile(file, text, kXuekdmRules, rows, error)) return false;
    std::set<std::tuple<std::string, std::string, std::string>> codes;
    std::set<std::string> numbers;
    for (const Row& r : rows) {
        const auto& f = r.fields;
        if (f[1] == "00" && f[2] != "00") {
            error = Where(file, r.line) + "a third level \"" + f[2] + "\" below no second level";
            return false;
        }
        if (!codes.insert({f[0], f[1], f[2]}).second) {
            error = Where(file, r.line) + "subject code " + f[0] + f[1] + f[2] + " occurs twice";
            return false;
        }
        if (!numbers.insert(f[4]).second) {
            error = Where(file, r.line) + "xk_xh \"" + f[4] + "\" occurs twice";
            return false;
        }
    }
    for (const Row& r : rows) {
        const auto& f = r.fields;
        const bool third = f[2] != "00";
        const bool second = !third && f[1] != "00";
        if ((second || third) && !codes.count({f[0], "00", "00"})) {
            error = Where(file, r.line) + "subject code " + f[0] + f[1] + f[2] + " has no first-level row " +
                    f[0] + "0000";
            return false;
        }
        if (third && !codes.count({f[0], f[1], "00"})) {
            error = Where(file, r.line) + "subject code " + f[0] + f[1] + f[2] + " has no second-level row " +
                    f[0] + f[1] + "00";
            return false;
        }
    }
    return true;
}

bool InsertRows(sqlite3* db, std::string_view sql, const std::vector<Row>& rows,
                const std::vector<FieldRule>& rules, std::string& error) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK) {
        error = SqliteError(db, "preparing \"" + std::string(sql) + "\"");
        return false;
    }
    Stmt stmt(raw);
    for (const Row& row : rows) {
        sqlite3_reset(stmt.get());
        sqlite3_clear_bindings(stmt.get());
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const std::string& v = row.fields[i];
            const int col = static_cast<int>(i) + 1;
            const int rc =
                rules[i].kind == FieldRule::Number
                    ? sqlite3_bind_int64(stmt.get(), col, std::stoll(v))
                    : sqlite3_bind_text(stmt.get(), col, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
            if (rc != SQLITE_OK) {
                error = SqliteError(db, "binding a value");
                return false;
            }
        }
        if (sqlite3_step(stmt.get()) != SQLITE_DONE) {
            error = SqliteError(db, "inserting the row of line " + std::to_string(row.line));
            return false;
        }
    }
    return true;
}

bool Exec(sqlite3* db, const std::string& sql, std::string_view what, std::string& error) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) == SQLITE_OK) return true;
    error = std::string(what) + ": " + (msg ? msg : sqlite3_errmsg(db));
    sqlite3_free(msg);
    return false;
}

// How a failure of the file's disk under the database library reads to the user, where it is one
// the user can act on (a full disk, a read-only one).
std::optional<std::string> DiskReason(sqlite3* db) {
    const int code = sqlite3_errcode(db);
    if (code == SQLITE_FULL) return "磁盘空间不足";
    const int system = sqlite3_system_errno(db);
    if (system == 0 || (code != SQLITE_IOERR && code != SQLITE_CANTOPEN && code != SQLITE_READONLY))
        return std::nullopt;
    std::string why = rt::WriteFailureReason(std::error_code(system, std::generic_category()));
    if (why.starts_with("系统错误")) return std::nullopt;
    return why;
}

std::string CannotCreate(const std::string& path) {
    return "无法创建数据库文件“" + rt::ShownPath(path) + "”：";
}

// False; a failure of the disk is said as the user can act on it, any other stays as `error` has it.
bool Failed(sqlite3* db, const std::string& path, std::string& error) {
    if (const std::optional<std::string> why = DiskReason(db)) error = CannotCreate(path) + *why;
    return false;
}

// Fills the freshly created, empty database file. Everything happens in one transaction.
bool Fill(const std::string& path, std::string_view recomdept_tsv, std::string_view xuekdm_tsv,
          std::string& error) {
    std::vector<Row> depts;
    std::vector<Row> subjects;
    if (!ReadRecomdept(recomdept_tsv, depts, error)) return false;
    if (!ReadXuekdm(xuekdm_tsv, subjects, error)) return false;

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        error = SqliteError(db.get(), "opening " + path);
        return Failed(db.get(), path, error);
    }
    if (!Exec(db.get(), "BEGIN", "starting the transaction", error)) return Failed(db.get(), path, error);
    // A failure below leaves the transaction open; closing the connection rolls it back.
    if (!Exec(db.get(), SchemaSql(), "creating the tables", error)) return Failed(db.get(), path, error);
    if (!InsertRows(db.get(), "INSERT INTO recomdept (st_code, st_chdescr) VALUES (?, ?)", depts,
                    kRecomdeptRules, error))
        return Failed(db.get(), path, error);
    if (!InsertRows(db.get(), "INSERT INTO xuekdm (xk_1, xk_2, xk_3, xk_name, xk_xh) VALUES (?, ?, ?, ?, ?)",
                    subjects, kXuekdmRules, error))
        return Failed(db.get(), path, error);

    if (!Exec(db.get(), "COMMIT", "committing", error)) return Failed(db.get(), path, error);
    if (sqlite3_close(db.release()) != SQLITE_OK) {
        error = "closing " + path + " failed";
        return false;
    }
    return true;
}

}  // namespace

const std::string& SchemaSql() {
    static const std::string sql(embedded::schema_sql);
    return sql;
}

bool CreateDatabaseWithCodes(const std::string& path, std::string_view recomdept_tsv,
                             std::string_view xuekdm_tsv, std::string& error) {
    error.clear();
    if (path.empty()) {
        error = "no database path given";
        return false;
    }
    // symlink_status, so that a dangling link counts as existing too: following it would create a
    // file somewhere else.
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(rt::FsPath(path), ec);
    if (fs::exists(st)) {
        error = path + " already exists; it was left untouched";
        return false;
    }
    // The name is claimed atomically: if another process made the file since the check above, this
    // fails instead of opening that file.
    if (const int err = rt::CreateEmptyFile(path); err != 0) {
        if (err == EEXIST)
            error = path + " already exists; it was left untouched";
        else if (err == ENOENT)
            error =
                CannotCreate(path) + rt::MissingFolderReason(rt::PathText(rt::FsPath(path).parent_path()));
        else
            error =
                CannotCreate(path) + rt::WriteFailureReason(std::error_code(err, std::generic_category()));
        return false;
    }

    OwnedFile file(rt::FsPath(path));
    if (!Fill(path, recomdept_tsv, xuekdm_tsv, error)) return false;
    file.Keep();
    return true;
}

bool ShippedCodeTables(std::vector<CodeTable>& tables, std::string& error) {
    error.clear();
    auto add = [&](std::string table, const std::vector<FieldRule>& rules, std::vector<Row>&& rows) {
        CodeTable t{std::move(table), {}, {}, {}};
        for (const FieldRule& r : rules) {
            t.columns.emplace_back(r.name);
            t.whole.push_back(r.kind == FieldRule::Number);
        }
        for (Row& r : rows) t.rows.push_back(std::move(r.fields));
        tables.push_back(std::move(t));
    };
    std::vector<Row> depts;
    std::vector<Row> subjects;
    if (!ReadRecomdept(embedded::recomdept_tsv, depts, error)) return false;
    if (!ReadXuekdm(embedded::xuekdm_tsv, subjects, error)) return false;
    add("recomdept", kRecomdeptRules, std::move(depts));
    add("xuekdm", kXuekdmRules, std::move(subjects));
    return true;
}

bool CreateDatabase(const std::string& path, std::string& error) {
    return CreateDatabaseWithCodes(path, embedded::recomdept_tsv, embedded::xuekdm_tsv, error);
}

}  // namespace schema
