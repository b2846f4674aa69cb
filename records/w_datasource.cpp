#include "records/w_datasource.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "exchange/package.h"
#include "records/data_source.h"
#include "records/globals.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "runtime/ui/datawindow_control.h"
#include "runtime/ui/dialogs.h"
#include "schema/tables.h"
#include "sections/globals.h"

namespace laurel::records {

namespace {

using rt::ConnectProblem;
using rt::ui::Buttons;
using rt::ui::Icon;

constexpr const char* kTitle = "提示信息";

void Say(const std::string& text, Icon icon = Icon::Exclamation) {
    rt::ui::MessageBox(kTitle, text, icon);
}

// The connect string inside a DBParm, its quotes doubled.
std::string DBParmFor(const std::string& connect) {
    std::string quoted;
    for (char c : connect) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return "Connectstring='" + quoted + "'";
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : "、") + n;
    return text;
}

// What the user is told when the database cannot be reached, in the words of what kept it away.
std::string ConnectMessage(const rt::DataSourceEntries& entries, const std::string& diagnostic) {
    const std::string host = rt::EntryValue(entries, "Servername");
    const std::string port = rt::EntryValue(entries, "Port");
    switch (rt::ClassifyConnectFailure(diagnostic)) {
        case ConnectProblem::Refused:
            return "无法连接到服务器 " + host + "（端口 " + port +
                   "）。\n请检查服务器地址和端口是否正确，\n服务器是否已经启动并接受本机的连接。";
        case ConnectProblem::NoAnswer:
            return "服务器没有应答（" + host + "，端口 " + port +
                   "）。\n连接已经发出，但在规定的时间内没有得到回答：\n服务器可能过于繁忙，或网络有故障。\n"
                   "请稍后再试，或请数据库管理员检查服务器和网络。";
        case ConnectProblem::WrongLogin:
            return "服务器不接受用户名“" + rt::EntryValue(entries, "Username") +
                   "”和所填的密码，请检查后重新输入。";
        case ConnectProblem::NoSuchDatabase:
            return "服务器上没有名为“" + rt::EntryValue(entries, "Database") +
                   "”的数据库，请检查数据库的名称。";
        case ConnectProblem::CertificateRefused:
            return "服务器的证书没有通过验证：\n它不是由所选证书文件的颁发机构签发的，\n或不是为服务器地址“" +
                   host + "”签发的，或证书文件无法读取。\n请检查服务器地址和证书文件。";
        case ConnectProblem::NoTls:
            return "服务器不提供加密连接，请与数据库管理员联系。";
        case ConnectProblem::NotAllowed:
            return "服务器不接受来自本机或用户“" + rt::EntryValue(entries, "Username") +
                   "”的连接，请与数据库管理员联系。";
        case ConnectProblem::NoDriver:
            return "本机没有安装所需的 ODBC 驱动程序“" + rt::EntryValue(entries, "Driver") + "”。";
        case ConnectProblem::Other:
            break;
    }
    return "无法连接到数据库。\n详细信息：" + diagnostic;
}

bool Readable(const std::string& file) {
    std::error_code ec;
    return std::filesystem::is_regular_file(rt::FsPath(file), ec) && std::ifstream(rt::FsPath(file)).good();
}

// The file is named in UTF-8, which the file system on Windows would take in the system code page.
bool Exists(const std::string& file) {
    std::error_code ec;
    return std::filesystem::exists(rt::FsPath(file), ec);
}

// A refusal of a database during the copy, as the user reads it: the database's own diagnostic
// ("SQLSTATE: message" lines, in the words of the driver and its language) gives way to what the
// class of its state means (`refused` where the class says nothing more), with the state for
// whoever looks into it.
std::string InWords(const std::string& why, const char* refused = "数据库拒绝写入") {
    const auto isState = [&why](std::size_t at) {
        if (at + 6 > why.size() || why[at + 5] != ':') return false;
        for (std::size_t i = at; i < at + 5; ++i)
            if (!std::isdigit(static_cast<unsigned char>(why[i])) &&
                !std::isupper(static_cast<unsigned char>(why[i])))
                return false;
        return at == 0 || !std::isalnum(static_cast<unsigned char>(why[at - 1]));
    };
    std::size_t at = 0;
    while (at < why.size() && !isState(at)) ++at;
    if (at == why.size()) return why;
    const std::string state = why.substr(at, 5);
    const std::string cls = state.substr(0, 2);
    std::string meaning = refused;
    if (cls == "08")
        meaning = "与数据库的连接中断";
    else if (cls == "22")
        meaning = "其中的数据不符合数据库中数据表的定义";
    else if (cls == "23")
        meaning = "其中的数据与数据库中已有的数据或规则冲突";
    else if (cls == "40")
        meaning = "与其他用户同时写入时发生冲突，请稍后再试";
    else if (cls == "42")
        meaning = "数据库中的数据表与本程序不一致，或没有读写的权限";
    else if (cls == "53" || cls == "57" || cls == "58")
        meaning = "数据库暂时无法处理（资源不足或正在停止）";
    return why.substr(0, at) + meaning + "（状态 " + state + "）";
}

// What ended a copy, said once.
std::string LossWords(rt::Transaction::Loss loss, bool server) {
    switch (loss) {
        case rt::Transaction::Loss::ConnectionRestored:
        case rt::Transaction::Loss::ConnectionDown:
            return server ? "复制时与服务器的连接中断了，" : "复制时与数据库的连接中断了，";
        case rt::Transaction::Loss::GivenUp:
            return "已放弃等待数据库应答，";
        case rt::Transaction::Loss::DiskFull:
            return "数据库所在的磁盘已满，";
        case rt::Transaction::Loss::DiskFailed:
            return "数据库文件读写出错，";
        case rt::Transaction::Loss::FileGone:
            return "数据库文件已被删除或移走，";
        case rt::Transaction::Loss::FileReadOnly:
            return "数据库文件或它所在的文件夹不能写入，";
    }
    return {};
}

// What became of the recommendations that a copy went through.
struct CopyTally {
    int copied = 0;
    std::vector<std::string> skipped, failed, left;  // each named, a failure with why
    std::optional<rt::Transaction::Loss> lost;       // what ended the copy before its end
};

// The counts in the box; each recommendation not copied, with why, in its scrolling details.
rt::MessageRequest CopyReport(const CopyTally& tally, bool server) {
    const std::string there = server ? "服务器上" : "共用的数据库中";
    rt::MessageRequest report{kTitle, std::string("复制到") + (server ? "服务器" : "共用的数据库") +
                                          "：已复制 " + std::to_string(tally.copied) + " 份推荐书。"};
    const auto list = [&report](const std::string& heading, const std::vector<std::string>& lines) {
        if (lines.empty()) return;
        report.details += (report.details.empty() ? "" : "\n") + heading;
        for (const std::string& line : lines) report.details += "\n" + line;
    };
    if (!tally.skipped.empty())
        report.text +=
            "\n" + there + "已有相同编号、没有复制的 " + std::to_string(tally.skipped.size()) + " 份。";
    if (!tally.failed.empty())
        report.text += "\n没有复制成功的 " + std::to_string(tally.failed.size()) + " 份。";
    if (tally.lost) {
        report.text += "\n" + LossWords(*tally.lost, server) + "还有 " + std::to_string(tally.left.size()) +
                       " 份没有复制。\n请稍后再复制一次：" + there + "已有的不会重复复制。";
    }
    list(there + "已有相同编号、没有复制的：", tally.skipped);
    list("没有复制成功的：", tally.failed);
    list("还没有复制的：", tally.left);
    report.icon = tally.failed.empty() && !tally.lost ? Icon::Information : Icon::Exclamation;
    return report;
}

// A password goes where others can read it only when the user says so: a data-source file that
// others may read (made so by the user, or shared with them through a link) stays so.
bool PasswordMayGoThere(const rt::DataSourceEntries& entries) {
    if (rt::EntryValue(entries, "Password").empty() || !rt::UserDataSourceOpenToOthers()) return true;
    return rt::ui::MessageBox(
               kTitle,
               "数据源文件“" + rt::UserDataSourcePlace() +
                   "”本机的其他用户也能读取，\n写入后，他们也能看到数据库的密码。\n是否仍然写入？\n"
                   "选“否”则不写入：可以不填密码（驱动程序另从密码文件读取），\n"
                   "或先把这个文件改为只有自己能读取。",
               Icon::Question, Buttons::YesNo, 2) == 1;
}

// Whether a data source leads away from the database of this desktop that the program works on,
// whose recommendations may then go there too.
bool LeavesThisDesktop(const rt::DataSourceDescription& to) {
    const rt::DataSourceDescription& from = DataSourceInUse();
    if (from.kind != rt::DataSourceDescription::Kind::File || !sqlca.Connected()) return false;
    return to.kind != rt::DataSourceDescription::Kind::File || !rt::SameFile(from.file, to.file);
}

}  // namespace

w_datasource::w_datasource(const CommandTargets& targets)
    : Window("w_datasource", rt::ui::WindowType::Response), targets_(targets) {
    SetTitle("数据源");
    SetResizable(false);
    SetSize(kDataSourceWidth, kDataSourceHeight);
}

w_datasource::~w_datasource() = default;

void w_datasource::create() {
    const std::string name = DataSourceName();
    current_ = CurrentDataSource();
    system_ = rt::DescribeDataSource(name, rt::DataSourceScope::System);

    st_current = &Add<rt::ui::StaticText>(
        "st_current",
        "当前使用：" + DataSourceStatus(DataSourceInUse(), sqlca.Connected()) +
            (DataSourceInUse().scope == rt::DataSourceScope::System ? "（本机所有用户共用的数据源）" : ""));
    st_current->SetBackColor(rt::ui::SystemColor::ButtonFace);
    st_current->Place(73, 40, 2250, 120);

    rb_own = &Add<rt::ui::RadioButton>("rb_own", "本台电脑自己的数据库(&L)（" + rt::OwnDatabaseFile() + "）");
    rb_own->Place(73, 190, 2250, 90);
    rb_server = &Add<rt::ui::RadioButton>("rb_server", "PostgreSQL 服务器上的数据库(&S)");
    rb_server->Place(73, 300, 2250, 90);

    gb_server = &Add<rt::ui::GroupBox>("gb_server");
    gb_server->Place(140, 400, 2180, 800);
    const auto field = [this](rt::ui::StaticText*& label, rt::ui::SingleLineEdit*& edit,
                              const char* labelName, const char* editName, const char* text, int y,
                              int width) {
        label = &Add<rt::ui::StaticText>(labelName, text);
        label->SetBackColor(rt::ui::SystemColor::ButtonFace);
        label->Place(210, y + 16, 600, 80);
        edit = &Add<rt::ui::SingleLineEdit>(editName);
        edit->Place(830, y, width, 96);
        label->SetBuddy(*edit);
    };
    field(st_host, sle_host, "st_host", "sle_host", "服务器地址(&H)：", 430, 1400);
    field(st_port, sle_port, "st_port", "sle_port", "端口(&P)：", 540, 400);
    field(st_database, sle_database, "st_database", "sle_database", "数据库(&D)：", 650, 1400);
    field(st_user, sle_user, "st_user", "sle_user", "用户名(&U)：", 760, 1400);
    field(st_password, sle_password, "st_password", "sle_password", "密码(&W)：", 870, 1400);
    sle_password->SetPassword(true);
    cbx_tls = &Add<rt::ui::CheckBox>("cbx_tls", "加密连接，并用证书颁发机构的证书验证服务器（TLS）(&E)");
    cbx_tls->Place(210, 980, 2050, 90);
    field(st_authority, sle_authority, "st_authority", "sle_authority", "颁发机构的证书(&A)：", 1080, 1050);
    cb_browse = &Add<rt::ui::CommandButton>("cb_browse", "选择(&B)…");
    cb_browse->Place(1900, 1080, 330, 96);

    rb_system = &Add<rt::ui::RadioButton>(
        "rb_system", "本机所有用户共用的数据源(&M)（" + DataSourceStatus(system_, true) + "）");
    rb_system->Place(73, 1230, 2250, 90);
    if (system_.kind == rt::DataSourceDescription::Kind::None) rb_system->Hide();

    cb_test = &Add<rt::ui::CommandButton>("cb_test", "测试连接(&T)");
    cb_test->Place(73, 1390, 500, 110);
    cb_ok = &Add<rt::ui::CommandButton>("cb_ok", "确定");
    cb_ok->SetDefault(true);
    cb_ok->Place(1280, 1390, 500, 110);
    cb_cancel = &Add<rt::ui::CommandButton>("cb_cancel", "取消");
    cb_cancel->Place(1830, 1390, 500, 110);

    // What the user has now: a server of the user's own fills the fields, password included, so
    // that a change of one of them does not ask for all the others again.
    sle_port->SetText("5432");
    sle_database->SetText("laurel");
    if (current_.kind == rt::DataSourceDescription::Kind::Server) {
        sle_host->SetText(current_.server);
        if (!current_.port.empty()) sle_port->SetText(current_.port);
        sle_database->SetText(current_.database);
        sle_user->SetText(current_.user);
        if (current_.scope == rt::DataSourceScope::User)
            sle_password->SetText(
                rt::EntryValue(rt::ReadDataSource(name, rt::DataSourceScope::User), "Password"));
        cbx_tls->SetChecked(current_.tls);
        sle_authority->SetText(current_.authority);
    }
    if (current_.scope == rt::DataSourceScope::System)
        rb_system->SetChecked(true);
    else if (current_.kind == rt::DataSourceDescription::Kind::Server)
        rb_server->SetChecked(true);
    else
        rb_own->SetChecked(true);
    rb_clicked();

    rb_own->clicked = [this] { rb_clicked(); };
    rb_server->clicked = [this] { rb_clicked(); };
    rb_system->clicked = [this] { rb_clicked(); };
    cbx_tls->clicked = [this] { cbx_tls_clicked(); };
    cb_browse->clicked = [this] { cb_browse_clicked(); };
    cb_test->clicked = AsCommand([this] { cb_test_clicked(); });
    cb_ok->clicked = AsCommand([this] { cb_ok_clicked(); });
    cb_cancel->clicked = [this] { cb_cancel_clicked(); };
}

void w_datasource::rb_clicked() {
    const bool server = rb_server->Checked();
    for (rt::ui::Control* c : std::initializer_list<rt::ui::Control*>{
             st_host, sle_host, st_port, sle_port, st_database, sle_database, st_user, sle_user, st_password,
             sle_password, cbx_tls})
        c->SetEnabled(server);
    cbx_tls_clicked();
}

void w_datasource::cbx_tls_clicked() {
    const bool on = rb_server->Checked() && cbx_tls->Checked();
    st_authority->SetEnabled(on);
    sle_authority->SetEnabled(on);
    cb_browse->SetEnabled(on);
}

void w_datasource::cb_browse_clicked() {
    std::string path, file;
    if (rt::ui::GetFileOpenName("选择证书颁发机构的证书", path, file, "crt",
                                "证书文件 (*.crt;*.pem),*.crt;*.pem,所有文件 (*.*),*.*", "D:\\") == 1)
        sle_authority->SetText(path);
}

std::optional<rt::ServerSettings> w_datasource::Server() {
    rt::ServerSettings s;
    s.host = rt::Trim(sle_host->Text());
    s.port = rt::Trim(sle_port->Text());
    s.database = rt::Trim(sle_database->Text());
    s.user = rt::Trim(sle_user->Text());
    s.password = sle_password->Text();
    s.tls = cbx_tls->Checked();
    s.authority = rt::Trim(sle_authority->Text());
    const auto refuse = [](const std::string& why, rt::ui::Control& field) {
        Say(why);
        field.SetFocus();
        return std::nullopt;
    };
    if (s.host.empty()) return refuse("请填写服务器的地址。", *sle_host);
    const bool digits =
        !s.port.empty() && s.port.size() <= 5 && s.port.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(s.port) < 1 || std::stoi(s.port) > 65535)
        return refuse("端口应是 1 到 65535 之间的数字。", *sle_port);
    if (s.database.empty()) return refuse("请填写数据库的名称。", *sle_database);
    if (s.user.empty()) return refuse("请填写用户名。", *sle_user);
    if (s.password != rt::Trim(s.password) || s.password.find_first_of("\r\n") != std::string::npos)
        return refuse("密码的开头和结尾不能是空格，也不能分成几行。", *sle_password);
    if (s.tls && s.authority.empty())
        return refuse("加密连接需要证书颁发机构的证书文件，请选择这个文件。", *sle_authority);
    if (s.tls && !Readable(s.authority))
        return refuse("证书文件“" + s.authority + "”不存在或无法读取。", *sle_authority);
    // Without it no connection can be tried, and a data source naming another driver would not serve.
    if (rt::PostgreSQLDriver().empty()) {
        Say("没有安装 PostgreSQL 的 ODBC 驱动程序（psqlODBC）：" + rt::PostgreSQLDriverSource() + "后再试。");
        return std::nullopt;
    }
    return s;
}

std::optional<std::string> w_datasource::Try(const rt::DataSourceEntries& entries, rt::Transaction& t) const {
    t.DBMS = "ODBC";
    t.AutoCommit = false;
    const rt::ConnectTarget target(entries);
    t.DBParm = DBParmFor(target.Text());
    // The user asked for this wait and may want to end it: 取消 is offered at once.
    auto givenUp = std::make_shared<bool>(false);
    t.OnTransactionLost([givenUp](rt::Transaction::Loss loss) {
        *givenUp = *givenUp || loss == rt::Transaction::Loss::GivenUp;
    });
    const rt::ui::WaitingBoxFor waiting("正在连接数据库，请稍候……\n选择“取消”停止等待。",
                                        std::chrono::milliseconds(500));
    if (t.Connect() != 0) return *givenUp ? std::string() : ConnectMessage(entries, t.SQLErrText);

    const std::vector<std::string> present = schema::TablesPresent(t);
    std::vector<std::string> missing;
    for (const char* table : schema::kTables)
        if (std::find(present.begin(), present.end(), table) == present.end()) missing.emplace_back(table);
    std::vector<std::string> empty;
    if (missing.empty()) {
        for (const char* table : schema::kCodeTables) {
            std::vector<rt::Value> rows(1);
            if (t.SelectInto(std::string("SELECT count(*) FROM ") + table, {}, rows) != 0 ||
                rows[0].AsLong() == 0)
                empty.emplace_back(table);
        }
    }
    t.Rollback();
    if (*givenUp) return std::string();
    if (missing.size() == schema::kTables.size())
        return "已经连接到数据库，但其中还没有推荐系统的数据表。\n请数据库管理员先用 tallowmere-initdb "
               "--dsn\n准备这个数据库。";
    if (!missing.empty())
        return "已经连接到数据库，但其中缺少推荐系统的数据表：\n" + Joined(missing) +
               "。\n请数据库管理员检查这个数据库。";
    if (!empty.empty())
        return "已经连接到数据库，但代码表 " + Joined(empty) +
               " 中没有数据。\n请数据库管理员先准备好代码表。";
    return std::nullopt;
}

bool w_datasource::Serves(const rt::DataSourceEntries& entries, rt::Transaction& t) const {
    const std::optional<std::string> problem = Try(entries, t);
    if (problem && !problem->empty()) Say(*problem);
    return !problem;
}

void w_datasource::cb_test_clicked() {
    rt::DataSourceEntries entries;
    if (rb_server->Checked()) {
        const std::optional<rt::ServerSettings> server = Server();
        if (!server) return;
        entries = rt::ServerDataSource(*server);
    } else if (rb_system->Checked()) {
        entries = rt::ReadDataSource(DataSourceName(), rt::DataSourceScope::System);
    } else {
        const std::string file = rt::OwnDatabaseFile();
        if (!Exists(file)) {
            Say("本台电脑还没有自己的数据库：程序下次启动时建立“" + file + "”。", Icon::Information);
            return;
        }
        entries = rt::FileDataSource(file);
    }
    rt::Transaction t;
    if (Serves(entries, t)) Say("连接成功，数据库中推荐系统的数据表齐全。", Icon::Information);
}

void w_datasource::OfferCopy(rt::Transaction& target, bool server) {
    const std::string there = server ? "服务器上" : "共用的数据库中";
    if (rt::ui::MessageBox(kTitle,
                           "是否把本台电脑数据库中的推荐书复制到" + there + "？\n" + there +
                               "已有相同编号的推荐书不复制，\n本台电脑的数据库保持不变。",
                           Icon::Question, Buttons::YesNo, 1) != 1)
        return;
    std::vector<std::vector<rt::Value>> local;
    const long read = sqlca.Query("SELECT xm_id, xm_name FROM j_xm_base ORDER BY xm_id", {}, local);
    const std::string unread = sqlca.SQLErrText;
    const bool told = sqlca.LossAlreadyTold();
    EndReading();
    if (read != 0) {
        // A connection lost on the way has had its box already.
        if (!told)
            Say("无法读取本台电脑数据库中的推荐书：" + InWords(unread, "数据库拒绝读取"), Icon::StopSign);
        return;
    }
    // A connection that goes, or a database that can no longer write, ends the copy: said once,
    // with what is left, rather than once for each recommendation after it.
    auto lost = std::make_shared<std::optional<rt::Transaction::Loss>>();
    target.OnTransactionLost([lost](rt::Transaction::Loss loss) {
        if (!*lost) *lost = loss;
    });
    const std::string folder = WorkingFolder();
    CopyTally tally;
    for (const auto& row : local) {
        const std::string key = row[0].ToText();
        const std::string named = key + "（" + (row[1].IsNull() ? std::string() : row[1].ToText()) + "）";
        if (*lost) {
            tally.left.push_back(named);
            continue;
        }
        const exchange::CopyResult result =
            exchange::CopyRecommendation(targets_.views, targets_.ole_1.Object(), key, target, folder);
        // The export views read this database: nothing of it stays held while the next is copied.
        EndReading();
        if (*lost) {
            // Its transaction went with the connection: nothing of it was stored.
            tally.left.push_back(named);
            continue;
        }
        switch (result.result) {
            case exchange::CopyResult::Copied:
                ++tally.copied;
                break;
            case exchange::CopyResult::Skipped:
                tally.skipped.push_back(named);
                break;
            case exchange::CopyResult::Failed:
                tally.failed.push_back(named + "：" + InWords(result.why));
                break;
        }
    }
    target.OnTransactionLost(nullptr);
    tally.lost = *lost;
    rt::ui::MessageBox(CopyReport(tally, server));
}

bool w_datasource::Settle(const rt::DataSourceEntries* entries) {
    const std::string name = DataSourceName();
    std::string error;
    if (entries != nullptr ? !rt::WriteUserDataSource(name, *entries, error)
                           : !rt::RemoveUserDataSource(name, error)) {
        Say("数据源没有保存：" + error, Icon::StopSign);
        return false;
    }
    changed = rt::DescribeDataSource(name);
    restart = rt::ui::MessageBox(kTitle,
                                 "数据源已设置为：" + DataSourceStatus(*changed, true) +
                                     "。\n重新启动程序后生效。现在退出程序吗？",
                                 Icon::Question, Buttons::YesNo, 1) == 1;
    rt::ui::Close(*this);
    return true;
}

void w_datasource::cb_ok_clicked() {
    const std::string name = DataSourceName();
    if (rb_system->Checked()) {
        rt::Transaction t;
        if (!Serves(rt::ReadDataSource(name, rt::DataSourceScope::System), t)) return;
        if (current_.scope == rt::DataSourceScope::User &&
            rt::ui::MessageBox(kTitle,
                               "将删除您自己设置的数据源“" + name + "”（" + rt::UserDataSourcePlace() +
                                   "），\n改用本机所有用户共用的数据源：" + DataSourceStatus(system_, true) +
                                   "。\n是否继续？",
                               Icon::Question, Buttons::YesNo, 2) != 1)
            return;
        if (LeavesThisDesktop(system_)) {
            if (!targets_.sections.offersave()) return;
            OfferCopy(t, system_.kind != rt::DataSourceDescription::Kind::File);
        }
        Settle(nullptr);
        return;
    }
    if (rb_own->Checked()) {
        const std::string file = rt::OwnDatabaseFile();
        const rt::DataSourceEntries entries = rt::FileDataSource(file);
        // A database that is not there yet is made by the next start.
        if (Exists(file)) {
            rt::Transaction t;
            if (!Serves(entries, t)) return;
        }
        Settle(&entries);
        return;
    }
    const std::optional<rt::ServerSettings> server = Server();
    if (!server) return;
    const rt::DataSourceEntries entries = rt::ServerDataSource(*server);
    rt::Transaction t;
    if (!Serves(entries, t) || !PasswordMayGoThere(entries)) return;
    // From this desktop's own database to a server: what the user has here may go there too, once
    // what is typed and not yet saved is saved or dropped.
    rt::DataSourceDescription to;
    to.kind = rt::DataSourceDescription::Kind::Server;
    if (LeavesThisDesktop(to)) {
        if (!targets_.sections.offersave()) return;
        OfferCopy(t, true);
    }
    Settle(&entries);
}

void w_datasource::cb_cancel_clicked() {
    rt::ui::Close(*this);
}

}  // namespace laurel::records
