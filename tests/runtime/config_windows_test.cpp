// The data sources as Windows keeps them, in the registry, and the first start that writes them.
// Each test gets a registry of its own: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are, for this
// process and while the test runs, keys of a scratch tree, so that a test may register drivers and
// the machine's data sources without an administrator and leaves nothing behind.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "runtime/config/data_source.h"
#include "runtime/config/first_start.h"
#include "runtime/platform/path.h"

namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kUserSources = L"Software\\ODBC\\ODBC.INI";
constexpr const wchar_t* kMachineSources = L"SOFTWARE\\ODBC\\ODBC.INI";
constexpr const wchar_t* kDrivers = L"SOFTWARE\\ODBC\\ODBCINST.INI";

struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const Value&) const = default;
};

// What a registry export of `path` under `root` holds: its values in their order, or nothing.
std::vector<Value> Export(HKEY root, const std::wstring& path) {
    std::vector<Value> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        std::wstring name(16384, L'\0');
        std::vector<BYTE> data(1 << 16);
        DWORD n = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(key, i, name.data(), &n, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        name.resize(n);
        data.resize(size);
        values.push_back({name, type, data});
    }
    RegCloseKey(key);
    return values;
}

std::wstring Text(HKEY root, const std::wstring& path, const std::wstring& name) {
    for (const Value& v : Export(root, path))
        if (_wcsicmp(v.name.c_str(), name.c_str()) == 0)
            return std::wstring(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / 2).c_str();
    return L"<none>";
}

void Set(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::wstring Wide(const std::string& utf8) {
    return rt::FsPath(utf8).wstring();
}

class WindowsRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        tree_ = L"Software\\laurel-tests\\" + std::to_wstring(rd()) + std::to_wstring(rd());
        // Whatever HKEY_CURRENT_USER stands for now, it is put back so.
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_ALL_ACCESS, &was_), ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyExW(was_, (tree_ + L"\\user").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &user_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyExW(was_, (tree_ + L"\\machine").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &machine_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user_), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
        overridden_ = true;
    }
    void TearDown() override {
        if (overridden_) {
            RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
            RegOverridePredefKey(HKEY_CURRENT_USER, was_);
        }
        for (HKEY k : {user_, machine_})
            if (k != nullptr) RegCloseKey(k);
        if (was_ != nullptr) {
            RegDeleteTreeW(was_, tree_.c_str());
            RegCloseKey(was_);
        }
    }

    // A driver registered on the machine as its installer registers it.
    static void Register(const std::wstring& name, const std::wstring& dll) {
        Set(HKEY_LOCAL_MACHINE, std::wstring(kDrivers) + L"\\ODBC Drivers", name, L"Installed");
        Set(HKEY_LOCAL_MACHINE, std::wstring(kDrivers) + L"\\" + name, L"Driver", dll);
    }

    static std::vector<Value> UserSources() {
        std::vector<Value> all = Export(HKEY_CURRENT_USER, std::wstring(kUserSources) + L"\\laurel");
        for (Value& v : Export(HKEY_CURRENT_USER, std::wstring(kUserSources) + L"\\ODBC Data Sources"))
            all.push_back(v);
        return all;
    }

  private:
    std::wstring tree_;
    HKEY was_ = nullptr, user_ = nullptr, machine_ = nullptr;
    bool overridden_ = false;
};

// The data source is written as the driver manager reads it, every text wide, and a switch is
// exactly the new data source or, when it fails, exactly the old one.
TEST_F(WindowsRegistry, DataSourcesAreWrittenWholeAndWideAndAFailedSwitchLeavesTheOldOne) {
    // A server's data source names the PostgreSQL driver the machine has, the ANSI one first.
    EXPECT_EQ(rt::PostgreSQLDriver(), "");
    Register(L"SQLite3 ODBC Driver", L"C:\\其他程序\\sqlite3odbc.dll");
    Register(L"PostgreSQL Unicode(x64)", L"C:\\Program Files\\psqlODBC\\bin\\psqlsodbc35w.dll");
    EXPECT_EQ(rt::PostgreSQLDriver(), "PostgreSQL Unicode(x64)");
    Register(L"PostgreSQL ANSI(x64)", L"C:\\Program Files\\psqlODBC\\bin\\psqlsodbc30a.dll");
    EXPECT_EQ(rt::PostgreSQLDriver(), "PostgreSQL ANSI(x64)");
    const std::string file = "C:\\users\\张三\\AppData\\Local\\laurel\\laurel.db";
    const std::wstring key = std::wstring(kUserSources) + L"\\laurel";
    const std::wstring list = std::wstring(kUserSources) + L"\\ODBC Data Sources";

    std::string error;
    ASSERT_TRUE(rt::WriteUserDataSource("laurel", rt::FileDataSource(file), error)) << error;
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Database"),
              L"C:\\users\\张三\\AppData\\Local\\laurel\\laurel.db");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Driver"), Wide(rt::SqliteDriver()));
    // Listed under its file's name: another program's registered name stays that program's.
    EXPECT_EQ(Text(HKEY_CURRENT_USER, list, L"laurel"), L"sqlite3odbc.dll");
    EXPECT_EQ(rt::FindDataSource("laurel"), rt::DataSourceScope::User);
    const rt::DataSourceDescription own = rt::DescribeDataSource("laurel");
    EXPECT_EQ(own.kind, rt::DataSourceDescription::Kind::File);
    EXPECT_EQ(own.file, file);

    // The connection test of a database file reaches its driver through a data source of its
    // own, which goes with it: the driver manager takes no driver by its file in a connect string.
    // One that a program ended meanwhile left behind goes with the next test.
    {
        const std::vector<Value> mine = UserSources();
        const std::wstring left = std::wstring(kUserSources) + L"\\laurel-trial-4294967000-1";
        Set(HKEY_CURRENT_USER, left, L"Driver", Wide(rt::SqliteDriver()));
        std::optional<rt::ConnectTarget> target(std::in_place, rt::FileDataSource("D:\\别处\\laurel.db"));
        EXPECT_TRUE(Export(HKEY_CURRENT_USER, left).empty());
        ASSERT_EQ(target->Text().rfind("DSN=", 0), 0u) << target->Text();
        const std::wstring trial = std::wstring(kUserSources) + L"\\" + Wide(target->Text().substr(4));
        EXPECT_EQ(Text(HKEY_CURRENT_USER, trial, L"Database"), L"D:\\别处\\laurel.db");
        target.reset();
        EXPECT_TRUE(Export(HKEY_CURRENT_USER, trial).empty());
        EXPECT_EQ(UserSources(), mine);
        EXPECT_EQ(
            rt::ConnectTarget(rt::ServerDataSource({})).Text().rfind("DRIVER={PostgreSQL ANSI(x64)};", 0),
            0u);
    }
    rt::ServerSettings server;
    server.host = "数据库服务器";
    server.database = "laurel";
    server.user = "李四";
    rt::DataSourceEntries entries = rt::ServerDataSource(server);
    ASSERT_TRUE(rt::WriteUserDataSource("laurel", entries, error)) << error;
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Driver"), L"C:\\Program Files\\psqlODBC\\bin\\psqlsodbc30a.dll");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, list, L"laurel"), L"PostgreSQL ANSI(x64)");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Servername"), L"数据库服务器");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"NoCreat"), L"<none>");
    EXPECT_EQ(Export(HKEY_CURRENT_USER, key).size(), entries.size());
    EXPECT_EQ(rt::DescribeDataSource("laurel").user, "李四");

    // Refused halfway (a value's name longer than the registry takes), or naming a driver the
    // machine does not have: the registry is as it was, to the byte.
    const std::vector<Value> before = UserSources();
    rt::DataSourceEntries refused = rt::FileDataSource(file);
    refused.emplace_back(std::string(20000, 'k'), "1");
    EXPECT_FALSE(rt::WriteUserDataSource("laurel", refused, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(UserSources(), before);
    entries.front().second = "PostgreSQL Unicode";  // the Linux name
    EXPECT_FALSE(rt::WriteUserDataSource("laurel", entries, error));
    EXPECT_NE(error.find("PostgreSQL Unicode"), std::string::npos) << error;
    EXPECT_EQ(UserSources(), before);

    // Once the user's own goes, the machine's serves.
    Set(HKEY_LOCAL_MACHINE, std::wstring(kMachineSources) + L"\\laurel", L"Driver", Wide(rt::SqliteDriver()));
    Set(HKEY_LOCAL_MACHINE, std::wstring(kMachineSources) + L"\\laurel", L"Database", L"D:\\共用\\laurel.db");
    ASSERT_TRUE(rt::RemoveUserDataSource("laurel", error)) << error;
    EXPECT_TRUE(UserSources().empty());
    EXPECT_EQ(rt::FindDataSource("laurel"), rt::DataSourceScope::System);
    EXPECT_EQ(rt::DescribeDataSource("laurel").file, "D:\\共用\\laurel.db");
    EXPECT_EQ(rt::UserDataSourceSections("laurel"), 0);
}

// The first start makes one database and one data source however many start at once, uses one
// that exists as it is, and points one at the running program's driver when the program moved.
TEST_F(WindowsRegistry, FirstStartMakesOneDataSourceAndFollowsTheProgramsDriver) {
    ASSERT_TRUE(fs::exists(rt::FsPath(rt::SqliteDriver()))) << rt::SqliteDriver();
    // The user's local application data, where the system's known folders find it, is a scratch
    // folder of a Chinese name.
    std::random_device rd;
    const fs::path local = fs::temp_directory_path() / (L"张三-" + std::to_wstring(rd()));
    fs::create_directories(local);
    Set(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
        L"Local AppData", local.wstring());
    const fs::path db = rt::FsPath(rt::OwnDatabaseFile());
    ASSERT_EQ(db, local / L"laurel" / L"laurel.db");
    std::atomic<int> made = 0;
    const rt::CreateDatabase create = [&made](const std::string& path, std::string&) {
        ++made;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return static_cast<bool>(std::ofstream(rt::FsPath(path)) << "db");
    };
    std::vector<std::thread> starts;
    std::atomic<int> failed = 0;
    for (int i = 0; i < 3; ++i)
        starts.emplace_back([&] {
            std::string error;
            if (!rt::PrepareDataSource(create, error)) ++failed;
        });
    for (std::thread& t : starts) t.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(fs::exists(db));
    const std::wstring key = std::wstring(kUserSources) + L"\\laurel";
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Database"), db.wstring());
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Driver"), Wide(rt::SqliteDriver()));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"OEMCP"), L"0");

    // Installed elsewhere since: the data source follows the program, its database stays.
    const fs::path kept = local / L"别处.db";
    std::ofstream(kept) << "db";
    Set(HKEY_CURRENT_USER, key, L"Driver", L"C:\\旧的文件夹\\SQLITE3ODBC.DLL");
    Set(HKEY_CURRENT_USER, key, L"Database", kept.wstring());
    std::string error;
    EXPECT_TRUE(rt::PrepareDataSource(create, error)) << error;
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Driver"), Wide(rt::SqliteDriver()));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Database"), kept.wstring());

    // A change of the data source cut off halfway (the program ended, the power went) leaves the
    // data source as it was before the change kept aside, and the new one half written: the next
    // start puts the old one back whole.
    const std::vector<Value> whole = UserSources();
    const std::wstring aside = L"Software\\ODBC\\ODBC.INI before a change\\laurel";
    const auto put = [](const std::wstring& path, const Value& v) {
        HKEY k = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
            ERROR_SUCCESS);
        RegSetValueExW(k, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        RegCloseKey(k);
    };
    for (const Value& v : Export(HKEY_CURRENT_USER, key)) put(aside + L"\\key", v);
    for (const Value& v : Export(HKEY_CURRENT_USER, std::wstring(kUserSources) + L"\\ODBC Data Sources"))
        if (v.name == L"laurel") put(aside + L"\\line", v);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Database");
    Set(HKEY_CURRENT_USER, key, L"Servername", L"半途");
    EXPECT_TRUE(rt::PrepareDataSource(create, error)) << error;
    EXPECT_EQ(UserSources(), whole);
    EXPECT_TRUE(Export(HKEY_CURRENT_USER, aside + L"\\key").empty());

    // Another driver that went is not replaced by the program's: the start says why.
    Set(HKEY_CURRENT_USER, key, L"Driver", L"C:\\旧的文件夹\\psqlsodbc35w.dll");
    EXPECT_FALSE(rt::PrepareDataSource(create, error));
    EXPECT_NE(error.find("psqlsodbc35w.dll"), std::string::npos) << error;
    EXPECT_EQ(Text(HKEY_CURRENT_USER, key, L"Driver"), L"C:\\旧的文件夹\\psqlsodbc35w.dll");

    // The machine's data source serves as it is: the user gets none of their own.
    ASSERT_TRUE(rt::RemoveUserDataSource("laurel", error)) << error;
    const std::wstring machine = std::wstring(kMachineSources) + L"\\laurel";
    Set(HKEY_LOCAL_MACHINE, machine, L"Driver", Wide(rt::SqliteDriver()));
    Set(HKEY_LOCAL_MACHINE, machine, L"Database", kept.wstring());
    EXPECT_TRUE(rt::PrepareDataSource(create, error)) << error;
    EXPECT_TRUE(UserSources().empty());
    EXPECT_EQ(made, 1);
    std::error_code ec;
    fs::remove_all(local, ec);
}

}  // namespace
