// The seven readers of an unpacked exchange package: each reads its member in "tmp_xml" (every
// written value checked against its column first, exchange/package_reader.h), then writes each row
// with one INSERT of the key columns and one UPDATE of the others, every value bound as text.
//
// The readers never commit: the Import command commits once all seven have succeeded and rolls
// everything back otherwise, so that a broken package leaves no half recommendation behind. For
// the same reason every statement's result is checked, and a member that cannot be read or written
// makes its reader fail (-1) with the reason kept for the command to show.

#include <string>
#include <vector>

#include "exchange/package.h"
#include "exchange/package_reader.h"
#include "runtime/dialogs.h"
#include "runtime/dwdef.h"
#include "runtime/value.h"

namespace laurel::exchange {

namespace {

int Refuse(PackageImport& import, const std::string& why) {
    if (import.refusal.empty()) import.refusal = why;
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

// Writes one checked row, row n of its member, and reads its numbers back. "" when the row is
// stored as sent, else why not.
std::string WriteRow(rt::Transaction& sqlca, const MemberFormat& f, const Row& row, std::size_t n) {
    const std::string at = std::string(f.file) + " 第" + std::to_string(n) + "行";
    const auto failed = [&] { return "推荐书无法写入数据库：" + at + "，" + sqlca.SQLErrText; };
    std::vector<rt::Value> keyArgs, setArgs;
    for (const Column& c : f.keys) keyArgs.push_back(row[static_cast<std::size_t>(c.pos)]);
    for (const Column& c : f.set) setArgs.push_back(row[static_cast<std::size_t>(c.pos)]);

    std::string insert = std::string("INSERT INTO ") + f.table + " (";
    std::string values;
    std::string where;
    for (std::size_t k = 0; k < f.keys.size(); ++k) {
        insert += (k ? ", " : "") + std::string(f.keys[k].name);
        values += k ? ", ?" : "?";
        where += (k ? " AND " : "") + std::string(f.keys[k].name) + " = ?";
    }
    insert += ") VALUES (" + values + ")";
    if (sqlca.Execute(insert, keyArgs) != 0) return failed();

    std::string update = std::string("UPDATE ") + f.table + " SET ";
    for (std::size_t k = 0; k < f.set.size(); ++k)
        update += (k ? ", " : "") + std::string(f.set[k].name) + " = ?";
    update += " WHERE " + where;
    std::vector<rt::Value> args = setArgs;
    args.insert(args.end(), keyArgs.begin(), keyArgs.end());
    if (sqlca.Execute(update, args) != 0 || sqlca.SQLNRows != 1) return failed();

    const rt::DataWindowDef* def = rt::FindDefinition(f.object);
    if (def == nullptr) return at + "：" + f.object + " 未定义";
    std::vector<const Column*> numbers;
    std::string select;
    for (const Column& c : f.set) {
        const rt::ColType type = def->columns[static_cast<std::size_t>(c.pos)].type;
        if ((type != rt::ColType::Decimal && type != rt::ColType::Real) ||
            row[static_cast<std::size_t>(c.pos)].IsNull())
            continue;
        numbers.push_back(&c);
        select += (select.empty() ? "SELECT " : ", ") + std::string(c.name);
    }
    if (numbers.empty()) return {};
    std::vector<rt::Value> back(numbers.size());
    if (sqlca.SelectInto(select + " FROM " + f.table + " WHERE " + where, keyArgs, back) != 0)
        return failed();
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        const auto pos = static_cast<std::size_t>(numbers[k]->pos);
        if (!Kept(def->columns[pos].type, row[pos], back[k]))
            return "推荐书无法写入数据库：" + at + "第" + std::to_string(pos + 1) + "列（" +
                   numbers[k]->name + "）：数据库不能准确保存“" + row[pos].ToText() + "”，保存后读出为“" +
                   back[k].ToText() + "”";
    }
    return {};
}

int WriteRows(PackageImport& import, const MemberFormat& f, const std::vector<Row>& rows) {
    for (std::size_t n = 0; n < rows.size(); ++n)
        if (const std::string why = WriteRow(import.sqlca, f, rows[n], n + 1); !why.empty())
            return Refuse(import, why);
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
