#include "records/data_source.h"

#include <optional>

#include "records/globals.h"
#include "runtime/platform/dialogs.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "sections/globals.h"

namespace laurel::records {

using Kind = rt::DataSourceDescription::Kind;

std::string DataSourceName() {
    // "DSN=laurel", or a connect string that names its data source among other settings.
    const std::string connect = rt::ConnectStringOf(sqlca.DBParm);
    std::size_t at = 0;
    while (at <= connect.size()) {
        std::size_t end = connect.find(';', at);
        if (end == std::string::npos) end = connect.size();
        const std::string item = connect.substr(at, end - at);
        const std::size_t eq = item.find('=');
        if (eq != std::string::npos && rt::LowerAscii(rt::Trim(item.substr(0, eq))) == "dsn")
            return rt::Trim(item.substr(eq + 1));
        at = end + 1;
    }
    return "laurel";
}

rt::DataSourceDescription CurrentDataSource() {
    return rt::DescribeDataSource(DataSourceName());
}

namespace {
std::optional<rt::DataSourceDescription>& InUse() {
    static std::optional<rt::DataSourceDescription> inUse;
    return inUse;
}
}  // namespace

void NoteDataSourceInUse() {
    InUse() = CurrentDataSource();
}

const rt::DataSourceDescription& DataSourceInUse() {
    if (!InUse()) NoteDataSourceInUse();
    return *InUse();
}

namespace {

std::string ServerAndPort(const rt::DataSourceDescription& s) {
    return s.server + (s.defaultPort || s.port.empty() ? "" : ":" + s.port);
}

}  // namespace

std::string DataSourceStatus(const rt::DataSourceDescription& s, bool connected) {
    std::string text;
    switch (s.kind) {
        case Kind::File:
            text = "本机数据库 " + rt::PathText(rt::FsPath(s.file).filename());
            break;
        case Kind::Server:
            text = "服务器 " + ServerAndPort(s) + "/" + s.database;
            break;
        case Kind::Other:
            text = "数据源 " + s.name;
            break;
        case Kind::None:
            return "没有数据源 " + s.name;
    }
    return connected ? text : text + "（未连接）";
}

std::string DataSourceLines(const rt::DataSourceDescription& s) {
    if (s.kind == Kind::None) return "数据源：没有名为 " + s.name + " 的数据源";
    std::string lines =
        "数据源：" + s.name +
        (s.scope == rt::DataSourceScope::System ? "（本机所有用户共用）" : "（当前用户自己的）");
    const auto line = [&lines](const std::string& label, const std::string& value) {
        if (!value.empty()) lines += "\n" + label + "：" + value;
    };
    line("驱动程序", s.driver);
    if (s.kind == Kind::File) {
        line("数据库文件", s.file);
        return lines;
    }
    line("服务器", s.server);
    line("端口", s.port.empty() && s.defaultPort ? std::string("默认") : s.port);
    line("数据库", s.database);
    line("用户", s.user);
    if (s.kind == Kind::Server && s.tls)
        line("连接",
             "加密，服务器证书由 " + (s.authority.empty() ? std::string("默认证书") : s.authority) + " 验证");
    return lines;
}

void SayDuplicateDataSources() {
    const std::string name = DataSourceName();
    const int sections = rt::UserDataSourceSections(name);
    if (sections < 2) return;
    const rt::DataSourceDescription used = rt::DescribeDataSource(name, rt::DataSourceScope::User);
    rt::MessageBox("提示信息",
                   "名为“" + name + "”的数据源设置了 " + std::to_string(sections) +
                       " 次，程序只使用第一个：" + DataSourceStatus(used, true) + "。\n设置文件：" +
                       rt::UserDataSourcePlace() +
                       "\n如需改用其他数据库，请在“系统管理”菜单的“数据源”中重新设置，设置后只保留一个。",
                   rt::Icon::Exclamation);
}

}  // namespace laurel::records
