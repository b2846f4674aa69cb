// The completeness check and the version number: the gate of Print and Export, and of the Check
// command, which only shows what the gate says.
//
// The rules judge what is stored, so each page is read afresh just before its rules run, once the
// edits still pending on the pages are saved; the first rule that fails names its field and ends the
// check. A recommendation that passes gets its version
// number once, after the user agrees; the number also puts the recommendation into the saved state.

#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "check/check.h"
#include "runtime/platform/dialogs.h"
#include "runtime/text/text.h"

namespace laurel::check {

namespace {

using rt::Buttons;
using rt::Icon;

// The stored value of a recommendation that has no version number yet.
constexpr const char* kNoVersion = "FFFFFFFFFFFFFFFF";

enum class Test {
    Text,   // null, or nothing left once the blanks at both ends are gone
    Code,   // null only: an empty code passes
    Start,  // a date into the start of the pair under test; null fails
    End,    // a date into the end of the pair under test; null fails
    Order,  // the pair just read: the end must come after the start
};

struct Rule {
    const char* column;
    Test test;
    const char* message;
};

constexpr Rule kProjectRules[] = {
    {"xm_name", Test::Text, "项目中文名称不能为空！"},
    {"xm_topicword", Test::Text, "项目主题词不能为空！"},
    {"bm_deptcode", Test::Text, "项目推荐单位不能为空！"},
    {"sf_public", Test::Code, "项目名称是否可以公布？"},
    {"xm_askno", Test::Text, "项目推荐号不能为空！"},
    {"xk_grpno", Test::Code, "专业评审组不能为空！"},
    {"jb_awardcode", Test::Code, "项目类别不能为空！"},
    {"xk_majorname1", Test::Text, "项目学科分类名称1不能为空！"},
    {"xk_majorcode1", Test::Text, "项目学科分类代码1不能为空！"},
    {"hy_etradecode", Test::Code, "所属国民行业经济不能为空！"},
    {"ly_socucode", Test::Code, "任务来源不能为空！"},
    {"xm_no", Test::Text, "成果登记号不能为空！"},
    {"xm_startdate", Test::Start, "项目起始时间不能为空！"},
    {"xm_finishdate", Test::End, "项目结束时间不能为空！"},
    {nullptr, Test::Order, "项目结束时间不能比开始时间早！"},
};
constexpr Rule kSummaryRules[] = {{"xm_abstract", Test::Text, "项目简介不能为空！"}};
constexpr Rule kInnovationRules[] = {
    {"xm_innovation", Test::Text, "项目主要发现、发明及技术创新点不能为空！"}};
constexpr Rule kOpinionRules[] = {{"xm_recom", Test::Text, "推荐单位意见不能为空！"}};
constexpr Rule kContributorRules[] = {
    {"ry_name", Test::Text, "第一完成人姓名不能为空！"},
    {"ry_id", Test::Text, "第一完成人身份证号码不能为空！"},
    {"ry_birthday", Test::Start, "第一完成人出生年月不能为空！"},
    {"ry_bplace", Test::Text, "第一完成人出生地不能为空！"},
    {"mz_nationcode", Test::Code, "第一完成人民族选项不能为空！"},
    {"xb_sex", Test::Code, "第一完成人性别不能为空！"},
    {"dp_sectcode", Test::Code, "第一完成人政治面貌不能为空！"},
    {"zc_titlecode", Test::Code, "第一完成人技术职称不能为空！"},
    {"wp_edulev", Test::Code, "第一完成人文化程度不能为空！"},
    {"xw_degree", Test::Code, "第一完成人最高学位不能为空！"},
    {"ry_workmajor", Test::Text, "第一完成人所学专业不能为空！"},
    {"ry_specmajor", Test::Text, "第一完成人从事专业不能为空！"},
    {"ry_unit", Test::Text, "第一完成人工作单位不能为空！"},
    {"ry_fixtel", Test::Text, "第一完成人联系电话不能为空！"},
    {"ry_postaddr", Test::Text, "第一完成人通讯地址不能为空！"},
    {"ry_postcode", Test::Text, "第一完成人通讯邮编不能为空！"},
    {"ry_mpno", Test::Text, "第一完成人移动电话不能为空！"},
    {"ry_start", Test::Start, "第一完成人参与起始时间不能为空！"},
    {"ry_finish", Test::End, "第一完成人参与结束时间不能为空！"},
    {nullptr, Test::Order, "第一完成人参与结束时间不能比开始时间早！"},
};

// One page and the rules read from its row 1. The contributor page is read for the contributor
// numbered 1, whichever one section 七 shows.
struct PageRules {
    rt::DataWindow& page;
    bool firstContributor;
    std::span<const Rule> rules;
};

// A whole number from 1 to 9999, from the system's random source: the tail of a version number.
int DrawVersionTail() {
    std::random_device device;
    return std::uniform_int_distribution<int>(1, 9999)(device);
}

// The closing step of the check for a complete recommendation: the stored version number is shown,
// or, when there is none yet and the user agrees, one is made, stored with the saved state and
// shown. 1 when a number is shown, 0 otherwise.
int VersionNumber(rt::DataWindow& list, rt::Transaction& sqlca, const std::string& current_id) {
    std::vector<rt::Value> into(1);
    sqlca.SelectInto("select xm_guid from j_xm_base where xm_id =? ", {current_id}, into);
    if (sqlca.SQLCode != 0) {
        // Without the stored value there is no number to show, and none may be made over it. A
        // fault that lost the transaction has been said already, in words of its own.
        if (!sqlca.LossAlreadyTold())
            rt::MessageBox("提示信息", "系统意外，读取推荐书版本号失败！", rt::Icon::StopSign);
        return 0;
    }

    // A null number was never made: it is made now, like the placeholder's.
    std::string version = into[0].IsNull() ? kNoVersion : into[0].ToText();
    if (version == kNoVersion) {
        const int answer = rt::MessageBox("提示信息", "你要生成推荐书吗?", Icon::Question, Buttons::YesNo, 1);
        if (answer != 1) return 0;

        // A number is made once: one that another desktop has made since it was read above is
        // the one shown, never replaced by a second. The row stays locked until the COMMIT. Where
        // that cannot be told (the row is busy, or cannot be read again), no number is made.
        const auto fail = [&sqlca] {
            // A number that is not stored is never shown: it would be printed on a form that the
            // database does not know.
            const bool told = sqlca.LossAlreadyTold();
            sqlca.Rollback();
            if (!told) rt::MessageBox("提示信息", "系统意外，生成推荐书版本号失败！", rt::Icon::StopSign);
            return 0;
        };
        if (sqlca.Execute("UPDATE j_xm_base SET xm_guid = xm_guid WHERE xm_id = ? AND ( xm_guid = ? OR "
                          "xm_guid IS NULL )",
                          {current_id, std::string(kNoVersion)}) != 0)
            return fail();
        if (sqlca.SQLNRows == 0) {
            if (sqlca.SelectInto("select xm_guid from j_xm_base where xm_id =? ", {current_id}, into) != 0 ||
                into[0].IsNull())
                return fail();
            sqlca.Rollback();
            list.ReselectRow(list.GetRow());
            rt::MessageBox("提示信息", "当前推荐书的版本号为: " + into[0].ToText());
            return 1;
        }
        version = current_id + rt::String(static_cast<std::int64_t>(DrawVersionTail()), "0000");
        sqlca.Execute("update j_xm_base set xm_guid =? , xm_xg =1 where xm_id =? ", {version, current_id});
        if (sqlca.SQLCode != 0 || sqlca.SQLNRows != 1 || sqlca.Commit() != 0) return fail();
        list.ReselectRow(list.GetRow());
    }

    rt::MessageBox("提示信息", "当前推荐书的版本号为: " + version);
    return 1;
}

}  // namespace

int all_check(const CheckedPages& pages, rt::Transaction& sqlca, const std::string& current_id) {
    const PageRules checked[] = {
        {pages.dw_no1, false, kProjectRules},     {pages.dw_no2, false, kSummaryRules},
        {pages.dw_no3, false, kInnovationRules},  {pages.dw_no4, false, kOpinionRules},
        {pages.dw_no71, true, kContributorRules},
    };
    std::optional<rt::Date> start, end;
    for (const PageRules& p : checked) {
        rt::DataWindow& page = p.page;
        // A page that cannot be read is no verdict on the recommendation: the database has said why.
        const long read = p.firstContributor ? page.Retrieve({current_id, 1}) : page.Retrieve({current_id});
        if (read == -1) return 0;

        // Always row 1: a page without its row reads as null, and its first rule reports it.
        for (const Rule& rule : p.rules) {
            bool passed = true;
            switch (rule.test) {
                case Test::Text:
                case Test::Code: {
                    const std::optional<std::string> value = page.GetItemString(1, rule.column);
                    passed = value.has_value() && (rule.test == Test::Code || !rt::Trim(*value).empty());
                    break;
                }
                case Test::Start:
                    start = page.GetItemDate(1, rule.column);
                    passed = start.has_value();
                    break;
                case Test::End:
                    end = page.GetItemDate(1, rule.column);
                    passed = end.has_value();
                    break;
                case Test::Order:
                    passed = !(start && end) || *start < *end;
                    break;
            }
            if (!passed) {
                rt::MessageBox("提示信息", rule.message);
                return 0;
            }
        }
    }
    return VersionNumber(pages.dw_no, sqlca, current_id);
}

}  // namespace laurel::check
