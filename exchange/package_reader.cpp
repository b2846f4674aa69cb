#include "exchange/package_reader.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "exchange/package.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/formats/xml.h"
#include "runtime/text/text.h"

namespace laurel::exchange {

namespace {

using Rule = Column::Rule;

// A decimal(18,2) column holds sixteen digits before the point and two after it.
constexpr std::size_t kAmountDigits = 16;
constexpr std::size_t kAmountDecimals = 2;

bool Blank(std::string_view s) {
    return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string_view Stripped(std::string_view s) {
    const std::size_t begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    return s.substr(begin, s.find_last_not_of(" \t\r\n") - begin + 1);
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// A value as the message shows it: quoted, a long one cut short.
std::string Shown(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string out = rt::GbkLeft(text, kShown);
    if (out.size() < text.size()) out += "…";
    return "“" + out + "”";
}

// Plain decimal notation with at most 16 digits before the point and no nonzero digit after the
// second decimal: an amount the column keeps exactly.
std::optional<std::string> Amount(std::string_view text) {
    std::string_view s = Stripped(text);
    std::string sign;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        if (s[0] == '-') sign = "-";
        s.remove_prefix(1);
    }
    const std::size_t point = s.find('.');
    std::string_view whole = s.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if ((!whole.empty() && !AllDigits(whole)) || (!fraction.empty() && !AllDigits(fraction)))
        return std::nullopt;
    while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
    if (whole.size() > kAmountDigits) return std::nullopt;
    if (fraction.size() > kAmountDecimals &&
        fraction.substr(kAmountDecimals).find_first_not_of('0') != std::string_view::npos)
        return std::nullopt;
    const auto d = rt::Decimal::Parse(sign + std::string(whole.empty() ? "0" : whole) + "." +
                                      std::string(fraction.substr(0, kAmountDecimals)));
    if (!d) return std::nullopt;
    return d->ToString();
}

// The pieces of a refusal.
std::string At(const MemberFormat& f, std::size_t row) {
    return std::string(f.file) + " 第" + std::to_string(row) + "行";
}
std::string At(const MemberFormat& f, std::size_t row, std::size_t pos, const rt::ColumnDef& c) {
    return At(f, row) + "第" + std::to_string(pos + 1) + "列（" + c.name + "）";
}

class Reader {
  public:
    Reader(const MemberFormat& f, const rt::DataWindowDef& def, const std::string& key)
        : f_(f), def_(def), key_(key) {}

    // The row element's columns, or the refusal.
    std::optional<std::vector<rt::xml::Node>> Columns(const rt::xml::Node& row, std::size_t n) {
        std::vector<rt::xml::Node> columns;
        for (const rt::xml::Node& item : row.Content()) {
            switch (item.Kind()) {
                case rt::xml::NodeKind::Element:
                    columns.push_back(item);
                    break;
                case rt::xml::NodeKind::Text:
                    if (!Blank(item.Text()))
                        return Refuse(At(f_, n) + "：列之间有多余的文字" + Shown(item.Text()));
                    break;
                case rt::xml::NodeKind::CData:
                    return Refuse(At(f_, n) + "：列之间有 CDATA 段");
                default:  // comments and processing instructions carry no value
                    break;
            }
        }
        if (columns.size() != def_.columns.size())
            return Refuse(At(f_, n) + "：应有" + std::to_string(def_.columns.size()) + "列，实有" +
                          std::to_string(columns.size()) + "列");
        for (std::size_t pos = 0; pos < columns.size(); ++pos)
            for (const rt::xml::Node& inner : columns[pos].Content())
                if (inner.IsElement())
                    return Refuse(At(f_, n, pos, def_.columns[pos]) + "：列中含有元素 <" + inner.Name() +
                                  ">");
        return columns;
    }

    // The value of one written column of row n, checked and in its stored form.
    std::optional<rt::Value> Value(const std::string& text, std::size_t n, const Column& col) {
        const auto pos = static_cast<std::size_t>(col.pos);
        const rt::ColumnDef& c = def_.columns[pos];
        const std::string where = At(f_, n, pos, c) + "：";
        switch (c.type) {
            case rt::ColType::Char:
                return CharValue(text, col, c, where);
            case rt::ColType::Long:
                return LongValue(text, n, col, where);
            case rt::ColType::Date: {
                if (Stripped(text).empty()) return rt::Value::Null();
                const auto d = rt::Date::Parse(text);
                if (!d || !d->Valid()) return Refuse(where + Shown(text) + "不是有效的日期");
                return rt::Value(d->Iso());
            }
            case rt::ColType::Decimal: {
                if (Stripped(text).empty()) return rt::Value::Null();
                const auto amount = Amount(text);
                if (!amount)
                    return Refuse(where + Shown(text) + "不是该列允许的金额（至多" +
                                  std::to_string(kAmountDigits) + "位整数、" +
                                  std::to_string(kAmountDecimals) + "位小数）");
                return rt::Value(*amount);
            }
            case rt::ColType::Real: {
                if (Stripped(text).empty()) return rt::Value::Null();
                const auto r = rt::Value(text).AsReal();
                if (!r) return Refuse(where + Shown(text) + "不是有效的数值");
                return rt::Value(rt::Value(*r).ToText());
            }
        }
        return Refuse(where + "类型未知");
    }

    std::optional<rt::Value> CharValue(const std::string& text, const Column& col, const rt::ColumnDef& c,
                                       const std::string& where) {
        const std::size_t bytes = rt::GbkLength(text);
        if (bytes > static_cast<std::size_t>(c.length))
            return Refuse(where + "长度为" + std::to_string(bytes) + "字节，超过该列的" +
                          std::to_string(c.length) + "字节");
        switch (col.rule) {
            case Rule::Key:
                if (text.empty()) return Refuse(where + "推荐书的编号为空");
                if (!key_.empty() && text != key_)
                    return Refuse(where + "属于另一份推荐书" + Shown(text) + "，本申报文件的推荐书为" +
                                  Shown(key_));
                break;
            case Rule::Year:
                if (text.size() != 4 || !AllDigits(text))
                    return Refuse(where + "年份应为四位数字，实为" + Shown(text));
                break;
            case Rule::Flag:
            case Rule::OptionalFlag:
                if (text != "0" && text != "1" && !(col.rule == Rule::OptionalFlag && text.empty()))
                    return Refuse(where + "应为“0”或“1”，实为" + Shown(text));
                break;
            default:
                break;
        }
        return rt::Value(text);
    }

    std::optional<rt::Value> LongValue(const std::string& text, std::size_t n, const Column& col,
                                       const std::string& where) {
        const std::string_view s = Stripped(text);
        const std::string_view digits = !s.empty() && s[0] == '-' ? s.substr(1) : s;
        std::optional<long long> number;
        if (AllDigits(digits) && digits.size() <= 10) {
            const long long v = std::stoll(std::string(s));
            if (v >= INT32_MIN && v <= INT32_MAX) number = v;
        }
        if (col.rule == Rule::Number) {
            if (!number || *number != static_cast<long long>(n))
                return Refuse(where + "序号应为" + std::to_string(n) + "，实为" + Shown(text));
        } else if (s.empty()) {
            return rt::Value::Null();
        } else if (!number) {
            return Refuse(where + Shown(text) + "不是该列允许的整数");
        }
        return rt::Value(std::to_string(*number));
    }

    // The whole member.
    MemberRows Read(const rt::xml::Node& root) {
        std::vector<rt::xml::Node> rows;
        if (&f_ == &kBaseFormat) {
            const rt::xml::Node row = root.ChildElement("xm_base_row");
            if (!row) return Refused(std::string(f_.file) + "：没有 xm_base_row 行");
            rows.push_back(row);
        } else {
            rows = root.ChildElements();
            if (!f_.perKind && rows.size() > static_cast<std::size_t>(f_.maxRows))
                return Refused(std::string(f_.file) + "：有" + std::to_string(rows.size()) +
                               "行，超过页面允许的" + std::to_string(f_.maxRows) + "行");
        }

        MemberRows out;
        std::map<std::vector<std::string>, std::size_t> keysSeen;  // key values -> first row
        std::map<std::string, int> perKind;
        for (std::size_t n = 1; n <= rows.size(); ++n) {
            const auto columns = Columns(rows[n - 1], n);
            if (!columns) return Refused(refusal_);
            Row row(columns->size());
            std::vector<std::string> keyTexts;
            for (const auto* list : {&f_.keys, &f_.set})
                for (const Column& col : *list) {
                    auto v = Value((*columns)[static_cast<std::size_t>(col.pos)].Text(), n, col);
                    if (!v) return Refused(refusal_);
                    if (list == &f_.keys) keyTexts.push_back(v->ToText());
                    if (col.rule == Rule::Flag && f_.perKind && ++perKind[v->ToText()] > f_.maxRows)
                        return Refused(At(f_, n) + "：" + (v->ToText() == "1" ? "直接" : "间接") +
                                       "经济效益超过页面允许的" + std::to_string(f_.maxRows) + "行");
                    row[static_cast<std::size_t>(col.pos)] = std::move(*v);
                }
            if (const auto [at, fresh] = keysSeen.emplace(keyTexts, n); !fresh)
                return Refused(At(f_, n) + "：与第" + std::to_string(at->second) + "行是同一行（键相同）");
            out.rows.push_back(std::move(row));
        }
        return out;
    }

  private:
    std::nullopt_t Refuse(std::string why) {
        refusal_ = std::move(why);
        return std::nullopt;
    }
    static MemberRows Refused(std::string why) {
        MemberRows out;
        out.refusal = std::move(why);
        return out;
    }

    const MemberFormat& f_;
    const rt::DataWindowDef& def_;
    const std::string& key_;
    std::string refusal_;
};

}  // namespace

MemberRows ReadMember(const std::string& path, const MemberFormat& format, const std::string& key) {
    MemberRows out;
    const rt::DataWindowDef* def = rt::FindDefinition(format.object);
    if (def == nullptr) {
        out.refusal = std::string(format.object) + " 未定义";
        return out;
    }
    long error = 0;
    const auto doc = rt::xml::Document::BuildFromFile(path, &error);
    if (!doc) {
        out.refusal =
            std::string(format.file) + "：不是可读的 XML 文件（错误 " + std::to_string(error) + "）";
        return out;
    }
    return Reader(format, *def, key).Read(doc->Root());
}

void SetUpUnpacking(rt::Zip& zip, const std::string& archive, const std::string& folder) {
    std::string names;
    for (const Member& m : kImportOrder) names += std::string(names.empty() ? "" : "\n") + m.file;
    zip.processsubfolders = true;
    zip.filestoprocess = names;
    zip.preservepaths = false;
    zip.unziptofolder = folder;
    zip.zipfilename = archive;
}

// ---- the members -----------------------------------------------------------------------------

const MemberFormat kBaseFormat{
    "xm_base.xml",
    "dw_base",
    "j_xm_base",
    {{"xm_id", 0, Rule::Key}},
    {{"xk_grpno", 1},       {"jb_awardcode", 2},      {"xm_no", 4},
     {"xm_name", 6},        {"xm_ename", 7},          {"bm_deptcode", 8},
     {"sf_public", 10},     {"mj_secrcode", 11},      {"xm_fixsecrdate", 12},
     {"xm_secrterm", 13},   {"xm_fixsecrorgan", 14},  {"xm_topicword", 15},
     {"xk_majorcode1", 16}, {"xk_majorname1", 17},    {"xk_majorcode2", 18},
     {"xk_majorname2", 19}, {"xk_majorcode3", 20},    {"xk_majorname3", 21},
     {"hy_etradecode", 24}, {"ly_socucode", 25},      {"xm_planname", 26},
     {"xm_startdate", 27},  {"xm_finishdate", 28},    {"xm_abstract", 29},
     {"xm_innovation", 30}, {"xm_zongtz", 31},        {"xm_huis", 32},
     {"xm_zhijyj", 33},     {"xm_jianjyj", 34},       {"xm_sosiety", 35},
     {"xm_recom", 36},      {"xm_pingjia", 37},       {"xm_papers", 38},
     {"xm_guid", 39},       {"jz_awardsortcode", 40}, {"xm_askno", 41},
     {"xm_checkcode", 42},  {"xm_xg", 43, Rule::Flag}},
};

const MemberFormat kRyFormat{
    "xm_ry.xml",
    "dw_ry",
    "j_RY_FINISH",
    {{"xm_id", 0, Rule::Key}, {"ry_no", 2, Rule::Number}},
    {{"ry_name", 1},          {"ry_birthday", 3},   {"mz_nationcode", 4}, {"xb_sex", 5},
     {"ry_bplace", 6},        {"ry_id", 7},         {"dp_sectcode", 8},   {"ry_position", 10},
     {"ry_unit", 13},         {"ry_fixtel", 15},    {"ry_postaddr", 16},  {"ry_postcode", 17},
     {"ry_email", 20},        {"ry_mpno", 21},      {"ry_grduniv", 22},   {"wp_edulev", 23},
     {"ry_grdtime", 24},      {"zc_titlecode", 25}, {"ry_workmajor", 26}, {"ry_specmajor", 27},
     {"xw_degree", 28},       {"ry_honor", 29},     {"ry_start", 30},     {"ry_finish", 31},
     {"ry_contribution", 32}, {"ry_anum", 33},      {"ry_atm", 35}},
    15,
};

const MemberFormat kDwFormat{
    "xm_dw.xml",
    "dw_dw",
    "j_DW_FINISH",
    {{"xm_id", 0, Rule::Key}, {"dw_no", 3, Rule::Number}},
    {{"dw_name", 1},
     {"dx_unprocode", 4},
     {"dw_fax", 5},
     {"dw_rperson", 6},
     {"dw_rtelphone", 7},
     {"ry_mpno", 8},
     {"dw_postaddr", 9},
     {"dw_postcode", 10},
     {"dw_emailbox", 11},
     {"dw_contribute", 12},
     {"dw_ardbkprnnum", 13},
     {"dw_ardbkprntm", 15}},
    9,
};

const MemberFormat kXyFormat{
    "xm_xy.xml",
    "dw_xy",
    "j_XY_SAVING",
    {{"xm_id", 0, Rule::Key}, {"xy_year", 1, Rule::Year}, {"xy_zhijorjianj", 7, Rule::Flag}},
    {{"xy_addvalue", 2}, {"xy_addinterest", 3}, {"xy_addtax", 4}, {"xy_getfrgexch", 5}, {"xy_savegross", 6}},
    3,
    true,
};

const MemberFormat kHjFormat{
    "xm_hj.xml",
    "dw_getaward",
    "j_JX_GETAWARD",
    {{"xm_id", 0, Rule::Key}, {"jx_id", 1, Rule::Number}},
    {{"jx_xmname", 2}, {"jx_date", 3}, {"jx_name", 4}, {"jx_grade", 5}, {"jx_grantdept", 6}},
    10,
};

const MemberFormat kYyFormat{
    "xm_yy.xml",
    "dw_yy",
    "J_yy_APP",
    {{"xm_id", 0, Rule::Key}, {"yy_id", 1, Rule::Number}},
    {{"dw_unitname", 2},
     {"yy_stsatdate", 3},
     {"yy_finishdate", 4},
     {"dw_rperson", 5},
     {"yy_benefit", 6},
     {"sf_submit", 7, Rule::OptionalFlag}},
    12,
};

const MemberFormat kZlFormat{
    "xm_zl.xml",
    "dw_zl",
    "J_ZL_PATENT",
    {{"xm_id", 0, Rule::Key}, {"zl_id", 1, Rule::Number}},
    {{"zl_name", 2}, {"zl_sortcode", 3}, {"zl_nation", 4}, {"zl_appno", 5}, {"zl_no", 6}},
    12,
};

}  // namespace laurel::exchange
