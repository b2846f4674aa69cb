// The seven readers of an unpacked exchange package: each reads its member in "tmp_xml" (every
// written value checked against its column first, exchange/package_reader.h), then writes all its
// rows with one INSERT, every value bound as text, and reads the numbers of its rows back in one
// query, to check that the database keeps them as sent.
//
// The readers never commit: the Import command commits once all seven have succeeded and rolls
// everything back otherwise, so that a broken package leaves no half recommendation behind. For
// the same reason every statement's result is checked, and a member that cannot be read or written
// makes its reader fail (-1) with the reason kept for the command to show.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "exchange/package.h"
#include "exchange/package_reader.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/platform/dialogs.h"
#include "runtime/text/value.h"

namespace laurel::exchange {

namespace {

int Refuse(PackageImport& import, const std::string& why) {
    if (import.refusal.empty()) import.refusal = why;
    if (import.sqlca.LossAlreadyTold()) import.told = true;
    return -1;
}

// Whether the number reads back as it was sent: a database may keep it less exactly than the
// package gives it (an amount of more than fifteen digits in a column of floating point), and the
// recommendation would then show, print and export another number.
bool Kept(rt::ColType type, const rt::Value& sent, const rt::Value& back) {
    if (type == rt::ColType::Decimal) {
        const auto a = rt::Decimal::Parse(sent.ToText());
        const auto b = rt::Decimal::Parse(back.ToText());
        return a && b && *a == *b;
    }
    const auto a = sent.AsReal();
    const auto b = back.AsReal();
    return a && b && *a == *b;
}

// "<file> 第n行", naming row n of a member.
std::string RowAt(const MemberFormat& f, std::size_t n) {
    return std::string(f.file) + " 第" + std::to_string(n) + "行";
}

// "<file> 第n行" or "<file> 第n至m行", naming rows first to last of a member.
std::string RowsAt(const MemberFormat& f, std::size_t first, std::size_t last) {
    if (first == last) return RowAt(f, first);
    return std::string(f.file) + " 第" + std::to_string(first) + "至" + std::to_string(last) + "行";
}

// The most values one statement binds: what every database the program meets takes (SQLite's
// oldest limit is 999), so that a member goes in one statement unless it is larger than any the
// program writes.
constexpr std::size_t kMaxParameters = 999;

// Writes the member's checked rows with one INSERT of every column for all of them, or for as many
// as one statement binds values for: the database is reached once per member, not twice per row.
// "" when every row is written, else why not.
std::string InsertRows(rt::Transaction& sqlca, const MemberFormat& f, const std::vector<Row>& rows) {
    std::vector<const Column*> columns;
    for (const Column& c : f.keys) columns.push_back(&c);
    for (const Column& c : f.set) columns.push_back(&c);
    std::string head = std::string("INSERT INTO ") + f.table + " (";
    std::string tuple = "(";
    for (std::size_t k = 0; k < columns.size(); ++k) {
        head += (k ? ", " : "") + std::string(columns[k]->name);
        tuple += k ? ", ?" : "?";
    }
    head += ") VALUES ";
    tuple += ")";

    const std::size_t perStatement = std::max<std::size_t>(1, kMaxParameters / columns.size());
    for (std::size_t first = 0; first < rows.size(); first += perStatement) {
        const std::size_t last = std::min(rows.size(), first + perStatement);
        std::string insert = head;
        std::vector<rt::Value> args;
        args.reserve((last - first) * columns.size());
        for (std::size_t n = first; n < last; ++n) {
            insert += (n > first ? ", " : "") + tuple;
            for (const Column* c : columns) args.push_back(rows[n][static_cast<std::size_t>(c->pos)]);
        }
        if (sqlca.Execute(insert, args) != 0 || sqlca.SQLNRows != static_cast<long>(last - first))
            return "推荐书无法写入数据库：" + RowsAt(f, first + 1, last) + "，" + sqlca.SQLErrText;
    }
    return {};
}

// A row's key as one text, from the values of its key columns in order.
std::string KeyText(const std::vector<rt::Value>& values, std::size_t count) {
    std::string key;
    for (std::size_t k = 0; k < count; ++k) {
        key += values[k].ToText();
        key += '\0';
    }
    return key;
}

// Reads the numbers of the member's rows back, all in one query, and checks each against what the
// package gave. "" when every number reads back as sent, else why not, for the first row that does
// not.
std::string CheckNumbers(PackageImport& import, const MemberFormat& f, const std::vector<Row>& rows) {
    const rt::DataWindowDef* def = rt::FindDefinition(f.object);
    if (def == nullptr) return std::string(f.file) + "：" + f.object + " 未定义";
    std::vector<const Column*> numbers;
    for (const Column& c : f.set) {
        const rt::ColType type = def->columns[static_cast<std::size_t>(c.pos)].type;
        if (type == rt::ColType::Decimal || type == rt::ColType::Real) numbers.push_back(&c);
    }
    if (numbers.empty() || rows.empty()) return {};

    // Every key of the member starts with the recommendation's, which all its rows carry.
    std::string select = "SELECT ";
    for (std::size_t k = 0; k < f.keys.size(); ++k) select += (k ? ", " : "") + std::string(f.keys[k].name);
    for (const Column* c : numbers) select += ", " + std::string(c->name);
    select += std::string(" FROM ") + f.table + " WHERE " + f.keys.front().name + " = ?";
    rt::Transaction& sqlca = import.sqlca;
    std::vector<std::vector<rt::Value>> read;
    if (sqlca.Query(select, {rows.front()[static_cast<std::size_t>(f.keys.front().pos)]}, read) != 0)
        return "推荐书无法写入数据库：" + std::string(f.file) + "，" + sqlca.SQLErrText;
    std::map<std::string, const std::vector<rt::Value>*> byKey;
    for (const std::vector<rt::Value>& back : read)
        if (back.size() == f.keys.size() + numbers.size()) byKey.emplace(KeyText(back, f.keys.size()), &back);

    for (std::size_t n = 0; n < rows.size(); ++n) {
        const Row& row = rows[n];
        std::vector<rt::Value> key;
        for (const Column& c : f.keys) key.push_back(row[static_cast<std::size_t>(c.pos)]);
        const auto found = byKey.find(KeyText(key, key.size()));
        if (found == byKey.end()) return "推荐书无法写入数据库：" + RowAt(f, n + 1) + "，写入后读不出这一行";
        const std::vector<rt::Value>& back = *found->second;
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            const auto pos = static_cast<std::size_t>(numbers[k]->pos);
            const rt::Value& stored = back[f.keys.size() + k];
            if (row[pos].IsNull() || Kept(def->columns[pos].type, row[pos], stored)) continue;
            return "推荐书无法写入数据库：" + RowAt(f, n + 1) + "第" + std::to_string(pos + 1) + "列（" +
                   numbers[k]->name + "）：数据库不能准确保存“" + row[pos].ToText() + "”，保存后读出为“" +
                   stored.ToText() + "”";
        }
    }
    return {};
}

int WriteRows(PackageImport& import, const MemberFormat& f, const std::vector<Row>& rows) {
    if (const std::string why = InsertRows(import.sqlca, f, rows); !why.empty()) return Refuse(import, why);
    if (const std::string why = CheckNumbers(import, f, rows); !why.empty()) return Refuse(import, why);
    return 1;
}

std::string MemberPath(const std::string& tmp_path, const MemberFormat& f) {
    return tmp_path + "/tmp_xml/" + f.file;
}

// The list members: every child element of the root is a row, each carrying the package's key.
int ImportList(const std::string& tmp_path, PackageImport& import, const MemberFormat& f) {
    const MemberRows read = ReadMember(MemberPath(tmp_path, f), f, import.key);
    if (!read.refusal.empty()) return Refuse(import, "申报文件有误：" + read.refusal);
    return WriteRows(import, f, read.rows);
}

}  // namespace

int import_base(const std::string& tmp_path, PackageImport& import) {
    const MemberFormat& f = kBaseFormat;
    const MemberRows read = ReadMember(MemberPath(tmp_path, f), f);
    if (!read.refusal.empty()) return Refuse(import, "申报文件有误：" + read.refusal);
    const std::string key = read.rows.front()[0].ToText();
    import.key = key;

    rt::Transaction& sqlca = import.sqlca;
    std::vector<rt::Value> found;
    sqlca.SelectInto("SELECT xm_name FROM j_xm_base WHERE xm_id = ?", {key}, found);
    if (sqlca.SQLCode == 0) {
        const std::string name = found.empty() ? std::string() : found.front().ToText();
        rt::MessageBox("提示信息:", "此推荐书已经存在，请先删除名称为：" + name + "的推荐书，再导入!");
        return 0;
    }
    if (sqlca.SQLCode != 100) return Refuse(import, "无法查询推荐书是否已经存在：" + sqlca.SQLErrText);
    return WriteRows(import, f, read.rows);
}

int import_ry(const std::string& tmp_path, PackageImport& import) {
    return ImportList(tmp_path, import, kRyFormat);
}
int import_dw(const std::string& tmp_path, PackageImport& import) {
    return ImportList(tmp_path, import, kDwFormat);
}
int import_xy(const std::string& tmp_path, PackageImport& import) {
    return ImportList(tmp_path, import, kXyFormat);
}
int import_hj(const std::string& tmp_path, PackageImport& import) {
    return ImportList(tmp_path, import, kHjFormat);
}
int import_yy(const std::string& tmp_path, PackageImport& import) {
    return ImportList(tmp_path, import, kYyFormat);
}
int import_zl(const std::string& tmp_path, PackageImport& import) {
    return ImportList(tmp_path, import, kZlFormat);
}

// Undoes every row the readers wrote: they never commit, so the whole import goes at once.
int import_rollback(const std::string&, PackageImport& import) {
    import.sqlca.Rollback();
    return 1;
}

}  // namespace laurel::exchange
