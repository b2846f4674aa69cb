#include "runtime/config/data_source.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "runtime/config/data_source_installer.h"
#include "runtime/text/text.h"

namespace rt {

namespace {

bool Contains(const std::string& haystack, std::string_view needle) {
    return haystack.find(needle) != std::string::npos;
}

// A value of a connect string, in braces when it holds what would end or split it.
std::string ConnectValue(const std::string& value) {
    if (value.find_first_of(";{}=[]()?*!@, ") == std::string::npos && !value.empty()) return value;
    std::string braced = "{";
    for (char c : value) {
        braced += c;
        if (c == '}') braced += '}';
    }
    return braced + "}";
}

// A value of the PostgreSQL client library's own settings, quoted when it holds blanks or quotes.
std::string ClientValue(const std::string& value) {
    if (!value.empty() && value.find_first_of(" '\\") == std::string::npos) return value;
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

// One setting out of the client library's settings ("sslrootcert=/x keepalives_idle=30"), its
// quoting undone.
std::string ClientSetting(const std::string& settings, std::string_view key) {
    std::size_t at = 0;
    while (at < settings.size()) {
        while (at < settings.size() && settings[at] == ' ') ++at;
        const std::size_t eq = settings.find('=', at);
        if (eq == std::string::npos) break;
        const std::string name = LowerAscii(std::string_view(settings).substr(at, eq - at));
        std::string value;
        std::size_t i = eq + 1;
        if (i < settings.size() && settings[i] == '\'') {
            for (++i; i < settings.size() && settings[i] != '\''; ++i) {
                if (settings[i] == '\\' && i + 1 < settings.size()) ++i;
                value += settings[i];
            }
            ++i;
        } else {
            for (; i < settings.size() && settings[i] != ' '; ++i) value += settings[i];
        }
        if (name == key) return value;
        at = i;
    }
    return {};
}

}  // namespace

std::string EntryValue(const DataSourceEntries& entries, std::string_view key) {
    const std::string wanted = LowerAscii(key);
    for (const auto& [k, v] : entries)
        if (LowerAscii(k) == wanted) return v;
    return {};
}

bool WritableEntries(const DataSourceEntries& entries, std::string& error) {
    if (entries.empty() || LowerAscii(entries.front().first) != "driver") {
        error = "数据源的第一项必须是驱动程序（Driver）";
        return false;
    }
    for (const auto& [key, value] : entries) {
        if (key.empty() || key.find_first_of("=[]\r\n") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos || Trim(value) != value) {
            error = "“" + key + "”的值含有换行、首尾空格或不能保存的字符，无法写入数据源";
            return false;
        }
    }
    return true;
}

DataSourceDescription DescribeDataSource(const std::string& name) {
    return DescribeDataSource(name, FindDataSource(name));
}

DataSourceDescription DescribeDataSource(const std::string& name, DataSourceScope scope) {
    DataSourceDescription d;
    d.name = name;
    d.scope = scope;
    const DataSourceEntries entries = ReadDataSource(name, scope);
    if (entries.empty()) return d;
    d.driver = EntryValue(entries, "Driver");
    const std::string driver = LowerAscii(d.driver);
    const auto first = [&entries](std::initializer_list<std::string_view> keys) {
        for (std::string_view key : keys)
            if (std::string v = EntryValue(entries, key); !v.empty()) return v;
        return std::string();
    };
    if (Contains(driver, "sqlite")) {
        d.kind = DataSourceDescription::Kind::File;
        d.file = first({"Database"});
    } else if (Contains(driver, "postgres") || Contains(driver, "psql")) {
        d.kind = DataSourceDescription::Kind::Server;
        d.server = first({"Servername", "Server", "Host"});
        d.port = first({"Port"});
        d.database = first({"Database"});
        d.user = first({"Username", "UID", "User"});
        d.defaultPort = d.port.empty() || d.port == "5432";
        const std::string mode = LowerAscii(first({"SSLmode"}));
        d.tls = mode == "verify-full" || mode == "verify-ca";
        d.authority = ClientSetting(first({"pqopt"}), "sslrootcert");
    } else if (Contains(driver, "maria") || Contains(driver, "mysql")) {
        d.kind = DataSourceDescription::Kind::Server;
        d.server = first({"Server", "Servername", "Host"});
        d.port = first({"Port"});
        d.database = first({"Database", "DB"});
        d.user = first({"User", "UID", "Username"});
        d.defaultPort = d.port.empty() || d.port == "3306";
    } else {
        d.kind = DataSourceDescription::Kind::Other;
        d.server = first({"Servername", "Server", "Host"});
        d.database = first({"Database"});
        d.user = first({"Username", "UID", "User"});
    }
    return d;
}

DataSourceEntries ServerDataSource(const ServerSettings& s) {
    DataSourceEntries entries = {
        {"Driver", PostgreSQLDriver()}, {"Description", "laurel recommendation database"},
        {"Servername", s.host},         {"Port", s.port.empty() ? "5432" : s.port},
        {"Database", s.database},       {"Username", s.user},
    };
    if (!s.password.empty()) entries.emplace_back("Password", s.password);
    // Without verification the connection is still encrypted where the server offers it.
    entries.emplace_back("SSLmode", s.tls ? "verify-full" : "prefer");
    // A failed statement rolls its whole transaction back, which is what the program asks of the
    // driver anyway: asked here, the program connects once instead of twice.
    entries.emplace_back("Protocol", "7.4-1");
    // A connection that went dead keeps the program waiting about a minute at most; and a
    // connection attempt ten seconds.
    std::string client = s.tls ? "sslrootcert=" + ClientValue(s.authority) + " " : "";
    client +=
        "keepalives_idle=30 keepalives_interval=10 keepalives_count=3 tcp_user_timeout=60000 "
        "connect_timeout=10";
    entries.emplace_back("pqopt", client);
    // A row another user is saving keeps a statement waiting two seconds at most, as on SQLite.
    // The program's text is UTF-8: the driver sets the session's client encoding after connecting,
    // from the locale or the code page unless these settings name one, and a client_encoding in
    // pqopt is overruled by it. The environment the program sets is not seen by a driver built
    // against another C runtime, as on Windows.
    entries.emplace_back("ConnSettings", "SET lock_timeout = 2000;SET client_encoding TO 'UTF8'");
    return entries;
}

DataSourceEntries FileDataSource(const std::string& file) {
    return {
        {"Driver", SqliteDriver()},
        {"Description", "laurel recommendation database"},
        {"Database", file},
        {"Timeout", "2000"},
        // A missing file must fail the connection, not silently become an empty database.
        {"NoCreat", "1"},
        // The driver takes the program's text as it is (UTF-8), not in the system's code page: on
        // Windows it would otherwise garble every Chinese text it stores. Elsewhere it is ignored.
        {"OEMCP", "0"},
    };
}

std::string ConnectStringFor(const DataSourceEntries& entries) {
    std::string text;
    for (const auto& [key, value] : entries) {
        const std::string lower = LowerAscii(key);
        if (lower == "description") continue;
        if (!text.empty()) text += ';';
        text += (lower == "driver" ? std::string("DRIVER") : key) + "=" +
                (lower == "driver" ? "{" + value + "}" : ConnectValue(value));
    }
    return text;
}

ConnectProblem ClassifyConnectFailure(std::string_view diagnostic) {
    const std::string text = LowerAscii(diagnostic);
    const auto any = [&text](std::initializer_list<std::string_view> words) {
        for (std::string_view w : words)
            if (Contains(text, w)) return true;
        return false;
    };
    const auto both = [&text](std::string_view a, std::string_view b) {
        const std::size_t at = text.find(a);
        return at != std::string::npos && text.find(b, at) != std::string::npos;
    };
    // The driver manager's, when the driver is not there to ask.
    if (any({"im002", "im003", "can't open lib"})) return ConnectProblem::NoDriver;
    // The client library's words (English, and its Chinese translation), then the server's.
    if (any({"certificate verify failed", "root certificate file", "does not match host name",
             "could not read root certificate", "根认证文件", "无法读取根证书文件", "与主机名不匹配",
             "certificate has expired"}))
        return ConnectProblem::CertificateRefused;
    if (any({"server does not support ssl", "服务器不支持 ssl"})) return ConnectProblem::NoTls;
    if (any({"password authentication failed", "password 认证失败", "no password supplied"}) ||
        both("role \"", "does not exist") || both("角色 \"", "不存在"))
        return ConnectProblem::WrongLogin;
    if (both("database \"", "does not exist") || both("数据库 \"", "不存在"))
        return ConnectProblem::NoSuchDatabase;
    if (any({"no pg_hba.conf entry", "pg_hba.conf 记录"})) return ConnectProblem::NotAllowed;
    // A server that took the connection and said nothing, or packets that went nowhere, is the
    // client library's own timeout (connect_timeout), or the system's.
    if (any({"timeout expired", "超时满", "connection timed out", "连接超时"}))
        return ConnectProblem::NoAnswer;
    if (any({"connection refused", "拒绝连接", "could not translate host name", "无法解释主机名",
             "no route to host", "没有到主机的路由", "network is unreachable", "网络不可达",
             "is the server running", "服务器是否在"}))
        return ConnectProblem::Refused;
    return ConnectProblem::Other;
}

std::string PickPostgreSQLDriver(const std::vector<std::string>& installed,
                                 std::initializer_list<std::string_view> preferred) {
    for (std::string_view wanted : preferred)
        for (const std::string& name : installed)
            if (LowerAscii(name) == LowerAscii(wanted)) return name;
    for (const std::string& name : installed)
        if (Contains(LowerAscii(name), "postgresql")) return name;
    return {};
}

std::vector<std::string> ListedNames(const std::function<int(char* buffer, int size)>& read) {
    std::vector<char> buffer(1 << 16, '\0');
    const int got = read(buffer.data(), static_cast<int>(buffer.size()));
    std::vector<std::string> names;
    if (got <= 0) return names;
    const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(got), buffer.size() - 1);
    for (std::size_t at = 0; at < end;) {
        const std::string name(buffer.data() + at);
        if (name.empty()) break;
        at += name.size() + 1;
        names.push_back(name);
    }
    return names;
}

}  // namespace rt
