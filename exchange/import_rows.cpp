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

#include "app/globals.h"
#include "exchange/package.h"
#include "exchange/package_reader.h"
#include "records/m_main.h"
#include "runtime/ui/dialogs.h"
#include "runtime/value.h"

namespace laurel::exchange {

namespace {

// The key of the package being imported, once import_base has read it; empty when none.
bool g_importing = false;
std::string g_packageKey;
// Why the import cannot go on: the first reader's reason.
std::string g_refusal;

int Refuse(const std::string& why) {
    if (g_refusal.empty()) g_refusal = why;
    return -1;
}

// Writes one checked row. Returns false when a statement fails.
bool WriteRow(const MemberFormat& f, const Row& row) {
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
    if (sqlca.Execute(insert, keyArgs) != 0) return false;

    std::string update = std::string("UPDATE ") + f.table + " SET ";
    for (std::size_t k = 0; k < f.set.size(); ++k)
        update += (k ? ", " : "") + std::string(f.set[k].name) + " = ?";
    update += " WHERE " + where;
    std::vector<rt::Value> args = setArgs;
    args.insert(args.end(), keyArgs.begin(), keyArgs.end());
    return sqlca.Execute(update, args) == 0 && sqlca.SQLNRows == 1;
}

int WriteRows(const MemberFormat& f, const std::vector<Row>& rows) {
    for (std::size_t n = 0; n < rows.size(); ++n)
        if (!WriteRow(f, rows[n]))
            return Refuse("推荐书无法写入数据库：" + std::string(f.file) + " 第" + std::to_string(n + 1) +
                          "行，" + sqlca.SQLErrText);
    return 1;
}

std::string MemberPath(const std::string& tmp_path, const MemberFormat& f) {
    return tmp_path + "/tmp_xml/" + f.file;
}

// The list members: every child element of the root is a row.
int ImportList(const std::string& tmp_path, const MemberFormat& f) {
    const MemberRows read =
        ReadMember(MemberPath(tmp_path, f), f, g_importing ? g_packageKey : std::string());
    if (!read.refusal.empty()) return Refuse("申报文件有误：" + read.refusal);
    return WriteRows(f, read.rows);
}

}  // namespace

void BeginImport() {
    g_importing = true;
    g_packageKey.clear();
    g_refusal.clear();
}

void EndImport() {
    g_importing = false;
}

std::string ImportedKey() {
    return g_packageKey;
}

std::string ImportRefusal() {
    return g_refusal;
}

}  // namespace laurel::exchange

namespace laurel::records {

using exchange::ImportList;

int m_main::import_base(const std::string& tmp_path) {
    const exchange::MemberFormat& f = exchange::kBaseFormat;
    const exchange::MemberRows read = exchange::ReadMember(exchange::MemberPath(tmp_path, f), f);
    if (!read.refusal.empty()) return exchange::Refuse("申报文件有误：" + read.refusal);
    const exchange::Row& row = read.rows.front();
    const std::string key = row[0].ToText();
    if (exchange::g_importing) exchange::g_packageKey = key;

    std::vector<rt::Value> found;
    sqlca.SelectInto("SELECT xm_name FROM j_xm_base WHERE xm_id = ?", {key}, found);
    if (sqlca.SQLCode == 0) {
        const std::string name = found.empty() ? std::string() : found.front().ToText();
        rt::ui::MessageBox("提示信息:", "此推荐书已经存在，请先删除名称为：" + name + "的推荐书，再导入!");
        return 0;
    }
    if (sqlca.SQLCode != 100) return exchange::Refuse("无法查询推荐书是否已经存在：" + sqlca.SQLErrText);
    return exchange::WriteRows(f, read.rows);
}

int m_main::import_ry(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kRyFormat);
}
int m_main::import_dw(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kDwFormat);
}
int m_main::import_xy(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kXyFormat);
}
int m_main::import_hj(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kHjFormat);
}
int m_main::import_yy(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kYyFormat);
}
int m_main::import_zl(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kZlFormat);
}

// Undoes every row the readers wrote: they never commit, so the whole import goes at once.
int m_main::import_rollback(const std::string&) {
    sqlca.Rollback();
    return 1;
}

}  // namespace laurel::records
