#include "sections/section_table.h"

#include <iterator>

#include "runtime/text/text.h"

namespace laurel::sections {

namespace {

using enum AreaControl;

constexpr ListKind kAwards{
    .kind = ListKind::Awards,
    .list = dw_no6,
    .table = "j_JX_GETAWARD",
    .number = "JX_ID",
    .numberItem = "jx_id",
    .nameItem = "jx_xmname",
    .limit = 10,
    .limitMessage = "最多录入10个奖项，申报书只填写前5个！",
    .question = "奖项已有修改，是否保存？",
    .saveFailure = "系统意外，奖项更新失败！",
    .insertFailure = "系统意外，插入失败！",
    .placeholder = "update j_JX_GETAWARD set jx_date ='0001-01-01' where xm_id = ? and jx_id = ?",
    .deleteFailure = "系统意外，项目奖励情况删除失败！",
};

constexpr ListKind kContributors{
    .kind = ListKind::Contributors,
    .list = dw_no72,
    .detail = dw_no71,
    .table = "j_ry_finish",
    .number = "ry_no",
    .numberItem = "ry_no",
    .nameItem = "ry_name",
    .limit = 15,
    .limitMessage = "最多录入15个完成人！多于15位完成人请在附件中说明.",
    .question = "完成人已有修改，是否暂时保存？",
    .insertFailure = "系统意外，完成人插入失败！",
    .placeholder =
        "update j_ry_finish set ry_birthday ='0001-01-01' , gg_date ='0001-01-01' , "
        "ry_grdtime ='0001-01-01' , ry_start ='0001-01-01' , ry_finish ='0001-01-01' , "
        "ry_anum =0.0 , ry_atm ='0001-01-01' where xm_id = ? and ry_no = ?",
    .deleteFailure = "系统意外，完成人删除失败！",
    .refusal = "最后一个完成人不能删除！",
    .detailNameColumn = "RY_NAME",
};

constexpr ListKind kUnits{
    .kind = ListKind::Units,
    .list = dw_no82,
    .detail = dw_no81,
    .table = "j_dw_finish",
    .number = "dw_no",
    .numberItem = "dw_no",
    .nameItem = "dw_name",
    .limit = 9,
    .limitMessage = "最多录入9个完成单位！多于9个完成单位请在附件中说明.",
    .question = "完成单位已有修改，是否暂时保存？",
    .insertFailure = "系统意外，完成单位插入失败！",
    .placeholder =
        "update j_dw_finish set dw_ardbkprnnum =0.0 , dw_ardbkprntm ='0001-01-01' where "
        "xm_id = ? and dw_no = ?",
    .deleteFailure = "系统意外，完成单位删除失败！",
    .refusal = "最后一个完成单位不能删除！",
    .detailNameColumn = "dw_NAME",
};

constexpr ListKind kApplications{
    .kind = ListKind::Applications,
    .list = dw_no91,
    .table = "J_yy_APP",
    .number = "YY_ID",
    .numberItem = "YY_ID",
    .nameItem = "dw_unitname",
    .limit = 12,
    .limitMessage = "最多录入12个应用证明，超过请在附件中说明！",
    .question = "目录已有修改，是否保存？",
    .saveFailure = "系统意外，目录更新失败！",
    .insertFailure = "系统意外，插入失败！",
    .placeholder =
        "update J_yy_APP set YY_STSATDATE ='0001-01-01' , YY_FINISHDATE ='0001-01-01' , "
        "YY_BENEFIT =0.0 where xm_id = ? and YY_ID = ?",
    .deleteFailure = "系统意外，应用证明删除失败！",
};

constexpr ListKind kProperty{
    .kind = ListKind::Property,
    .list = dw_no93,
    .table = "J_ZL_PATENT",
    .number = "ZL_ID",
    .numberItem = "ZL_ID",
    .nameItem = "zl_name",
    .limit = 12,
    .limitMessage = "最多录入12个知识产权证明，超过请在附件中说明！",
    .question = "目录已有修改，是否保存？",
    .saveFailure = "系统意外，目录更新失败！",
    .insertFailure = "系统意外，插入失败！",
    .deleteFailure = "系统意外，知识产权情况删除失败！",
};

constexpr std::string_view kOne = "一、项目基本情况";
constexpr std::string_view kFive = "五、经济和社会效益";
constexpr std::string_view kNine = "九、主要证明目录";

constexpr Placement kProjectPage{dw_no1, 1079, 440, 3543, 2260};
constexpr Placement kDirectBenefit[] = {{dw_no51, 1125, 610, 3458, 690}, {dw_no512, 1079, 440, 3543, 1700}};
constexpr Placement kApplicationList{dw_no91, 1125, 600, 3458, 1792};
constexpr std::string_view kApplicationSub = "1、应用单位目录";

std::vector<Section> MakeSections() {
    const std::vector<Placement> direct(std::begin(kDirectBenefit), std::end(kDirectBenefit));
    return {
        {.handle = 1,
         .parent = 0,
         .label = "推荐书",
         .caption = kOne,
         .read = {kProjectPage},
         .shown = {dw_no1},
         .saved = {dw_no1}},
        {.handle = 2,
         .parent = 1,
         .label = kOne,
         .caption = kOne,
         .read = {kProjectPage},
         .shown = {dw_no1},
         .saved = {dw_no1}},
        {.handle = 3,
         .parent = 1,
         .label = "二、项目简介",
         .caption = "二、项目简介",
         .read = {{dw_no2, 1079, 440, 3543, 2260}},
         .shown = {dw_no2},
         .saved = {dw_no2}},
        {.handle = 4,
         .parent = 1,
         .label = "三、主要发现、发明及技术创新点",
         .caption = "三、主要发现、发明及技术创新点",
         .read = {{dw_no3, 1079, 440, 3543, 1692}},
         .shown = {dw_no3},
         .saved = {dw_no3}},
        {.handle = 5,
         .parent = 1,
         .label = "四、推荐单位意见",
         .caption = "四、推荐单位意见",
         .read = {{dw_no4, 1079, 440, 3543, 1692}},
         .shown = {dw_no4},
         .saved = {dw_no4}},
        {.handle = 6,
         .parent = 1,
         .label = kFive,
         .caption = kFive,
         .read = direct,
         .shown = {dw_no512, dw_no51},
         .saved = {dw_no51, dw_no512}},
        {.handle = 7,
         .parent = 6,
         .label = "1．直接经济效益",
         .caption = kFive,
         .read = direct,
         .shown = {dw_no512, dw_no51},
         .saved = {dw_no51, dw_no512}},
        {.handle = 8,
         .parent = 6,
         .label = "2．间接经济效益",
         .caption = kFive,
         .read = {{dw_no52, 1125, 610, 3458, 663}, {dw_no522, 1079, 440, 3543, 1700}},
         .shown = {dw_no522, dw_no52},
         .saved = {dw_no52, dw_no522}},
        {.handle = 9,
         .parent = 6,
         .label = "3．社会效益",
         .caption = kFive,
         .read = {{dw_no53, 1079, 440, 3543, 1700}},
         .shown = {dw_no53},
         .saved = {dw_no53}},
        {.handle = 10,
         .parent = 1,
         .label = "六、本项目曾获科技奖励情况",
         .caption = "六、本项目曾获科技奖励情况",
         .read = {{dw_no6, 1125, 480, 3458, 1700}},
         .shown = {dw_no6},
         .saved = {dw_no6},
         .list = &kAwards},
        {.handle = 11,
         .parent = 1,
         .label = "七、主要完成人情况",
         .caption = "七、主要完成人情况",
         .read = {{dw_no72, 1119, 1940, 3463, 490}, {dw_no71, 1079, 440, 3543, 1496}},
         .shown = {dw_no72, dw_no71},
         .saved = {dw_no71},
         .list = &kContributors},
        {.handle = 12,
         .parent = 1,
         .label = "八、主要完成单位情况",
         .caption = "八、主要完成单位情况",
         .read = {{dw_no82, 1119, 1580, 3463, 850}, {dw_no81, 1079, 440, 3543, 1136}},
         .shown = {dw_no82, dw_no81},
         .saved = {dw_no81},
         .list = &kUnits},
        {.handle = 13,
         .parent = 1,
         .label = kNine,
         .caption = kNine,
         .read = {kApplicationList},
         .shown = {st_blank, st_sub, dw_no91},
         .sub = kApplicationSub,
         .saved = {dw_no91},
         .list = &kApplications},
        {.handle = 14,
         .parent = 13,
         .label = "1．应用单位目录",
         .caption = kNine,
         .read = {kApplicationList},
         .shown = {st_blank, st_sub, dw_no91},
         .sub = kApplicationSub,
         .saved = {dw_no91},
         .list = &kApplications},
        {.handle = 15,
         .parent = 13,
         .label = "2. 技术评价证明及国家法律法规要求行业审批文件目录",
         .caption = kNine,
         .read = {{dw_no92, 1079, 440, 3543, 2000}},
         .shown = {dw_no92},
         .saved = {dw_no92}},
        {.handle = 16,
         .parent = 13,
         .label = "3．知识产权证明目录",
         .caption = kNine,
         .read = {{dw_no93, 1125, 600, 3458, 1792}},
         .shown = {dw_no93, st_blank, st_sub},
         .sub = "3、知识产权目录(发明专利、植物新品种权、软件著作权等)",
         .saved = {dw_no93},
         .list = &kProperty},
        {.handle = 17,
         .parent = 13,
         .label = "4．10篇代表性论文、专著目录",
         .caption = kNine,
         .read = {{dw_no94, 1079, 440, 3543, 1980}},
         .shown = {dw_no94},
         .saved = {dw_no94}},
        {.handle = 18,
         .parent = 1,
         .label = "十、附件",
         .caption = "十、附件",
         .shown = {st_10_1, st_10_2, st_10_3, st_10_4, st_10_5, st_10_6, st_10_7, st_10_8}},
    };
}

}  // namespace

const std::vector<Section>& Sections() {
    static const std::vector<Section> sections = MakeSections();
    return sections;
}

const Section* SectionAt(long handle) {
    const std::vector<Section>& all = Sections();
    if (handle < 1 || handle > static_cast<long>(all.size())) return nullptr;
    return &all[static_cast<std::size_t>(handle - 1)];
}

const ListKind* ListKindOf(AreaControl page) {
    for (const ListKind* kind : {&kAwards, &kContributors, &kUnits, &kApplications, &kProperty})
        if (kind->list == page || kind->detail == page) return kind;
    return nullptr;
}

std::string PaddedCaption(const Section& section) {
    std::string caption(section.caption);
    const std::size_t bytes = rt::GbkLength(caption);
    return bytes >= 30 ? caption : caption + std::string(30 - bytes, ' ');
}

}  // namespace laurel::sections
