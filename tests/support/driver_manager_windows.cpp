// odbc32.dll for the Windows tests under Wine. Wine's own hands every call to this machine's
// unixODBC and its Linux drivers; this one does for the calls the program makes what Windows'
// driver manager does: it finds the data source in the registry, loads the driver DLL it names (the
// shipped sqlite3odbc.dll), passes the connect string on unchanged, and from then on forwards every
// call to that driver, which reads its own data source from the registry through odbccp32. Narrow
// calls reach the narrow driver as they are, as on Windows.
//
// It also gives the process a registry of its own under HKEY_CURRENT_USER, so that tests that run
// side by side in one Wine prefix never see each other's data sources: a key made when the first
// test process loads this DLL and deleted when it ends, named in LAUREL_TEST_REGISTRY for the
// programs it starts (the database tool, the test program itself), which then use the same one.

#include <windows.h>
// The ODBC headers build on Windows' own types.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// ---- the registry of the process --------------------------------------------------------------

constexpr const wchar_t* kRegistryVariable = L"LAUREL_TEST_REGISTRY";

struct PrivateRegistry {
    std::wstring path;  // under the prefix's HKEY_CURRENT_USER
    bool made = false;  // by this process, which deletes it at its end
};
PrivateRegistry registry;

void UsePrivateRegistry() {
    wchar_t inherited[256] = {};
    const DWORD length = GetEnvironmentVariableW(kRegistryVariable, inherited, 256);
    if (length > 0 && length < 256) {
        registry.path = inherited;
    } else {
        registry.path = L"Software\\laurel-tests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(GetTickCount64());
        registry.made = true;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, registry.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegOverridePredefKey(HKEY_CURRENT_USER, key);
    RegCloseKey(key);
    if (registry.made) SetEnvironmentVariableW(kRegistryVariable, registry.path.c_str());
}

void DropPrivateRegistry() {
    if (!registry.made) return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, registry.path.c_str());
}

// ---- text --------------------------------------------------------------------------------------

// The narrow text of the calls is in the ANSI code page, as Windows' driver manager reads it.
std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    std::wstring wide(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr,
                        nullptr);
    return narrow;
}

bool SameKeyword(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The value of `keyword` in a connect string ("" when it has none), braces taken off.
std::string ConnectValue(std::string_view text, std::string_view keyword) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t equals = text.find('=', at);
        if (equals == std::string_view::npos) break;
        std::string_view key = text.substr(at, equals - at);
        while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
        while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
        std::size_t end = 0;
        std::string_view value;
        if (equals + 1 < text.size() && text[equals + 1] == '{') {
            end = text.find('}', equals + 2);
            if (end == std::string_view::npos) end = text.size();
            value = text.substr(equals + 2, end - equals - 2);
            end = text.find(';', end);
        } else {
            end = text.find(';', equals + 1);
            value = text.substr(equals + 1, (end == std::string_view::npos ? text.size() : end) - equals - 1);
        }
        if (SameKeyword(key, keyword)) return std::string(value);
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return {};
}

// A string value of the registry, environment strings expanded (RRF_RT_REG_SZ takes REG_EXPAND_SZ
// too, and expands it); "" when there is none.
std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD size = 0;
    constexpr DWORD kText = RRF_RT_REG_SZ;
    if (RegGetValueW(root, key.c_str(), name, kText, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(root, key.c_str(), name, kText, nullptr, value.data(), &size) != ERROR_SUCCESS)
        return {};
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// ---- the drivers -------------------------------------------------------------------------------

// A driver's entry points; one that the driver lacks is null.
struct Driver {
    decltype(&SQLAllocHandle) AllocHandle;
    decltype(&SQLBindParameter) BindParameter;
    decltype(&SQLCancel) Cancel;
    decltype(&SQLColAttribute) ColAttribute;
    decltype(&SQLDescribeCol) DescribeCol;
    decltype(&SQLDisconnect) Disconnect;
    decltype(&SQLDriverConnect) DriverConnect;
    decltype(&SQLEndTran) EndTran;
    decltype(&SQLExecDirect) ExecDirect;
    decltype(&SQLExecute) Execute;
    decltype(&SQLFetch) Fetch;
    decltype(&SQLFreeHandle) FreeHandle;
    decltype(&SQLFreeStmt) FreeStmt;
    decltype(&SQLGetConnectAttr) GetConnectAttr;
    decltype(&SQLGetData) GetData;
    decltype(&SQLGetDiagRec) GetDiagRec;
    decltype(&SQLGetInfo) GetInfo;
    decltype(&SQLNumParams) NumParams;
    decltype(&SQLNumResultCols) NumResultCols;
    decltype(&SQLPrepare) Prepare;
    decltype(&SQLRowCount) RowCount;
    decltype(&SQLSetConnectAttr) SetConnectAttr;
    decltype(&SQLSetEnvAttr) SetEnvAttr;
};

template <typename F>
void Find(HMODULE module, const char* name, F& entry) {
    entry = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loaded once and kept for the life of the process, as a test's connections come and go.
struct LoadedDriver {
    std::wstring path;
    Driver entries{};
};

const Driver* Load(const std::wstring& path, DWORD& error) {
    static std::mutex m;
    static std::vector<std::unique_ptr<LoadedDriver>> loaded;
    const std::lock_guard lock(m);
    for (const auto& d : loaded)
        if (CompareStringOrdinal(d->path.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL)
            return &d->entries;
    const HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        error = GetLastError();
        return nullptr;
    }
    auto d = std::make_unique<LoadedDriver>();
    d->path = path;
    Driver& e = d->entries;
    Find(module, "SQLAllocHandle", e.AllocHandle);
    Find(module, "SQLBindParameter", e.BindParameter);
    Find(module, "SQLCancel", e.Cancel);
    Find(module, "SQLColAttribute", e.ColAttribute);
    Find(module, "SQLDescribeCol", e.DescribeCol);
    Find(module, "SQLDisconnect", e.Disconnect);
    Find(module, "SQLDriverConnect", e.DriverConnect);
    Find(module, "SQLEndTran", e.EndTran);
    Find(module, "SQLExecDirect", e.ExecDirect);
    Find(module, "SQLExecute", e.Execute);
    Find(module, "SQLFetch", e.Fetch);
    Find(module, "SQLFreeHandle", e.FreeHandle);
    Find(module, "SQLFreeStmt", e.FreeStmt);
    Find(module, "SQLGetConnectAttr", e.GetConnectAttr);
    Find(module, "SQLGetData", e.GetData);
    Find(module, "SQLGetDiagRec", e.GetDiagRec);
    Find(module, "SQLGetInfo", e.GetInfo);
    Find(module, "SQLNumParams", e.NumParams);
    Find(module, "SQLNumResultCols", e.NumResultCols);
    Find(module, "SQLPrepare", e.Prepare);
    Find(module, "SQLRowCount", e.RowCount);
    Find(module, "SQLSetConnectAttr", e.SetConnectAttr);
    Find(module, "SQLSetEnvAttr", e.SetEnvAttr);
    loaded.push_back(std::move(d));
    return &loaded.back()->entries;
}

// ---- the handles the program holds ------------------------------------------------------------

struct Diagnostic {
    std::string state;
    std::string text;
};

struct Handle {
    explicit Handle(SQLSMALLINT k) : kind(k) {}
    SQLSMALLINT kind;
    // The manager's own, from its last call on the handle; the driver's come from the driver.
    std::vector<Diagnostic> diagnostics;

    SQLRETURN Fail(const char* state, std::string text) {
        diagnostics.push_back({state, "[Microsoft][ODBC Driver Manager] " + std::move(text)});
        return SQL_ERROR;
    }
};

struct Environment : Handle {
    Environment() : Handle(SQL_HANDLE_ENV) {}
    SQLULEN version = SQL_OV_ODBC3;
};

struct Connection : Handle {
    explicit Connection(Environment& e) : Handle(SQL_HANDLE_DBC), env(e) {}
    Environment& env;
    // Set before the driver was there; given to it at each connect.
    std::vector<std::pair<SQLINTEGER, SQLULEN>> attributes;
    const Driver* driver = nullptr;
    SQLHENV driverEnv = nullptr;
    SQLHDBC driverDbc = nullptr;  // kept after a failed connect for its diagnostics
    bool connected = false;

    void Release() {
        if (driverDbc != nullptr) driver->FreeHandle(SQL_HANDLE_DBC, driverDbc);
        if (driverEnv != nullptr) driver->FreeHandle(SQL_HANDLE_ENV, driverEnv);
        driverDbc = driverEnv = nullptr;
        driver = nullptr;
        connected = false;
    }
};

struct Statement : Handle {
    Statement(Connection& c, SQLHSTMT h) : Handle(SQL_HANDLE_STMT), driver(*c.driver), real(h) {}
    const Driver& driver;
    SQLHSTMT real;
};

Connection* Dbc(SQLHANDLE h) {
    auto* c = static_cast<Connection*>(h);
    if (c != nullptr) c->diagnostics.clear();
    return c;
}

Statement* Stmt(SQLHANDLE h) {
    return static_cast<Statement*>(h);
}

// The DLL of the driver registered as `name`; "" when none is.
std::wstring RegisteredDriver(const std::wstring& name) {
    if (name.empty()) return {};
    return RegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBCINST.INI\\" + name, L"Driver");
}

// Where the driver of a connect string is: for DRIVER=, the DLL registered under that name; for
// DSN=, the data source's Driver, the user's before the machine's, a DLL or a registered name. ""
// with `c`'s diagnostic when there is none.
std::wstring DriverLibrary(Connection& c, std::string_view text) {
    std::wstring library;
    if (const std::wstring driver = Wide(ConnectValue(text, "DRIVER")); !driver.empty()) {
        library = RegisteredDriver(driver);
    } else {
        const std::wstring key = L"Software\\ODBC\\ODBC.INI\\" + Wide(ConnectValue(text, "DSN"));
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            if (!KeyExists(root, key)) continue;
            library = RegistryText(root, key, L"Driver");
            if (const std::wstring registered = RegisteredDriver(library); !registered.empty())
                library = registered;
            break;
        }
    }
    if (library.empty()) c.Fail("IM002", "Data source name not found and no default driver specified");
    return library;
}

}  // namespace

// ---- the entry points -------------------------------------------------------------------------

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) UsePrivateRegistry();
    if (reason == DLL_PROCESS_DETACH) DropPrivateRegistry();
    return TRUE;
}

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT kind, SQLHANDLE parent, SQLHANDLE* out) {
    if (out == nullptr) return SQL_ERROR;
    *out = SQL_NULL_HANDLE;
    switch (kind) {
        case SQL_HANDLE_ENV:
            *out = std::make_unique<Environment>().release();
            return SQL_SUCCESS;
        case SQL_HANDLE_DBC:
            if (parent == nullptr) return SQL_INVALID_HANDLE;
            *out = std::make_unique<Connection>(*static_cast<Environment*>(parent)).release();
            return SQL_SUCCESS;
        case SQL_HANDLE_STMT: {
            Connection* c = Dbc(parent);
            if (c == nullptr) return SQL_INVALID_HANDLE;
            if (!c->connected) return c->Fail("08003", "Connection not open");
            SQLHSTMT real = nullptr;
            const SQLRETURN rc = c->driver->AllocHandle(SQL_HANDLE_STMT, c->driverDbc, &real);
            if (SQL_SUCCEEDED(rc)) *out = std::make_unique<Statement>(*c, real).release();
            return rc;
        }
        default:
            return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT kind, SQLHANDLE h) {
    if (h == nullptr) return SQL_INVALID_HANDLE;
    switch (kind) {
        case SQL_HANDLE_ENV: {
            std::unique_ptr<Environment> gone(static_cast<Environment*>(h));
            return SQL_SUCCESS;
        }
        case SQL_HANDLE_DBC: {
            Connection* c = Dbc(h);
            if (c->connected) return c->Fail("HY010", "Function sequence error");
            std::unique_ptr<Connection> gone(c);
            gone->Release();
            return SQL_SUCCESS;
        }
        case SQL_HANDLE_STMT: {
            std::unique_ptr<Statement> s(Stmt(h));
            const SQLRETURN rc = s->driver.FreeHandle(SQL_HANDLE_STMT, s->real);
            // A statement the driver keeps stays the program's to free again.
            if (!SQL_SUCCEEDED(rc)) static_cast<void>(s.release());
            return rc;
        }
        default:
            return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    auto* e = static_cast<Environment*>(h);
    if (e == nullptr) return SQL_INVALID_HANDLE;
    e->diagnostics.clear();
    if (attribute != SQL_ATTR_ODBC_VERSION) return e->Fail("HYC00", "Optional feature not implemented");
    e->version = reinterpret_cast<SQLULEN>(value);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
    Connection* c = Dbc(h);
    if (c == nullptr) return SQL_INVALID_HANDLE;
    if (c->connected) {
        const SQLRETURN rc = c->driver->SetConnectAttr(c->driverDbc, attribute, value, length);
        if (!SQL_SUCCEEDED(rc)) return rc;
    } else if (length != 0 && length != SQL_IS_INTEGER && length != SQL_IS_UINTEGER) {
        // The program sets only numbers before it connects.
        return c->Fail("HYC00", "Optional feature not implemented");
    }
    std::erase_if(c->attributes, [attribute](const auto& a) { return a.first == attribute; });
    c->attributes.emplace_back(attribute, reinterpret_cast<SQLULEN>(value));
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length,
                                    SQLINTEGER* written) {
    Connection* c = Dbc(h);
    if (c == nullptr) return SQL_INVALID_HANDLE;
    if (c->connected) return c->driver->GetConnectAttr(c->driverDbc, attribute, value, length, written);
    for (const auto& [a, v] : c->attributes) {
        if (a != attribute) continue;
        const auto number = static_cast<SQLUINTEGER>(v);
        std::memcpy(value, &number, sizeof number);
        if (written != nullptr) *written = sizeof number;
        return SQL_SUCCESS;
    }
    return c->Fail("08003", "Connection not open");
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC h, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                   SQLSMALLINT outSize, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
    Connection* c = Dbc(h);
    if (c == nullptr) return SQL_INVALID_HANDLE;
    if (c->connected) return c->Fail("08002", "Connection name in use");
    c->Release();
    const auto* chars = reinterpret_cast<const char*>(in);
    const std::string_view text(chars, inLength == SQL_NTS ? std::strlen(chars) : inLength);
    const std::wstring library = DriverLibrary(*c, text);
    if (library.empty()) return SQL_ERROR;
    DWORD error = 0;
    const Driver* d = Load(library, error);
    if (d == nullptr) {
        wchar_t why[512] = {};
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, why,
                       512, nullptr);
        return c->Fail("IM003", "Specified driver could not be loaded due to system error " +
                                    std::to_string(error) + ": " + Narrow(why) + " (" + Narrow(library) +
                                    ")");
    }
    if (d->AllocHandle == nullptr || d->DriverConnect == nullptr || d->FreeHandle == nullptr)
        return c->Fail("IM001", "Driver does not support this function");
    c->driver = d;
    if (!SQL_SUCCEEDED(d->AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &c->driverEnv))) {
        c->driverEnv = nullptr;
        c->Release();
        return c->Fail("IM004", "Driver's SQLAllocHandle on SQL_HANDLE_ENV failed");
    }
    d->SetEnvAttr(c->driverEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(c->env.version), 0);
    if (!SQL_SUCCEEDED(d->AllocHandle(SQL_HANDLE_DBC, c->driverEnv, &c->driverDbc))) {
        c->driverDbc = nullptr;
        c->Release();
        return c->Fail("IM005", "Driver's SQLAllocHandle on SQL_HANDLE_DBC failed");
    }
    for (const auto& [attribute, value] : c->attributes)
        d->SetConnectAttr(c->driverDbc, attribute, reinterpret_cast<SQLPOINTER>(value), 0);
    const SQLRETURN rc =
        d->DriverConnect(c->driverDbc, window, in, inLength, out, outSize, outLength, completion);
    c->connected = SQL_SUCCEEDED(rc);
    return rc;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
    Connection* c = Dbc(h);
    if (c == nullptr) return SQL_INVALID_HANDLE;
    if (!c->connected) return c->Fail("08003", "Connection not open");
    const SQLRETURN rc = c->driver->Disconnect(c->driverDbc);
    // A connection the driver would not let go stays as it is, to be ended otherwise.
    if (SQL_SUCCEEDED(rc)) c->Release();
    return rc;
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT kind, SQLHANDLE h, SQLSMALLINT record, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT size, SQLSMALLINT* length) {
    if (h == nullptr) return SQL_INVALID_HANDLE;
    if (kind == SQL_HANDLE_STMT) {
        Statement* s = Stmt(h);
        return s->driver.GetDiagRec(kind, s->real, record, state, native, text, size, length);
    }
    const auto* own = static_cast<Handle*>(h);
    if (own->diagnostics.empty() && kind == SQL_HANDLE_DBC) {
        const auto* c = static_cast<Connection*>(h);
        if (c->driverDbc != nullptr)
            return c->driver->GetDiagRec(kind, c->driverDbc, record, state, native, text, size, length);
    }
    if (record < 1 || static_cast<std::size_t>(record) > own->diagnostics.size()) return SQL_NO_DATA;
    const Diagnostic& d = own->diagnostics[static_cast<std::size_t>(record) - 1];
    if (state != nullptr) std::memcpy(state, d.state.c_str(), d.state.size() + 1);
    if (native != nullptr) *native = 0;
    if (length != nullptr) *length = static_cast<SQLSMALLINT>(d.text.size());
    if (text == nullptr || size <= 0) return SQL_SUCCESS_WITH_INFO;
    const std::size_t n = std::min(d.text.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, d.text.data(), n);
    text[n] = '\0';
    return n < d.text.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT size,
                             SQLSMALLINT* length) {
    Connection* c = Dbc(h);
    if (c == nullptr) return SQL_INVALID_HANDLE;
    if (!c->connected) return c->Fail("08003", "Connection not open");
    return c->driver->GetInfo(c->driverDbc, type, value, size, length);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT kind, SQLHANDLE h, SQLSMALLINT how) {
    if (kind != SQL_HANDLE_DBC) return SQL_ERROR;
    Connection* c = Dbc(h);
    if (c == nullptr) return SQL_INVALID_HANDLE;
    if (!c->connected) return c->Fail("08003", "Connection not open");
    return c->driver->EndTran(kind, c->driverDbc, how);
}

// The statement's calls go to the driver as they are.

SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
    return Stmt(h)->driver.Prepare(Stmt(h)->real, text, length);
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
    return Stmt(h)->driver.Execute(Stmt(h)->real);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
    return Stmt(h)->driver.ExecDirect(Stmt(h)->real, text, length);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT io, SQLSMALLINT cType,
                                   SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                                   SQLLEN bufferLength, SQLLEN* indicator) {
    return Stmt(h)->driver.BindParameter(Stmt(h)->real, number, io, cType, sqlType, size, digits, value,
                                         bufferLength, indicator);
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
    return Stmt(h)->driver.NumParams(Stmt(h)->real, count);
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
    return Stmt(h)->driver.NumResultCols(Stmt(h)->real, count);
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT size,
                                 SQLSMALLINT* length, SQLSMALLINT* type, SQLULEN* columnSize,
                                 SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    return Stmt(h)->driver.DescribeCol(Stmt(h)->real, column, name, size, length, type, columnSize, digits,
                                       nullable);
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT size, SQLSMALLINT* length, SQLLEN* number) {
    return Stmt(h)->driver.ColAttribute(Stmt(h)->real, column, field, text, size, length, number);
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
    return Stmt(h)->driver.Fetch(Stmt(h)->real);
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT type, SQLPOINTER value, SQLLEN size,
                             SQLLEN* indicator) {
    return Stmt(h)->driver.GetData(Stmt(h)->real, column, type, value, size, indicator);
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
    return Stmt(h)->driver.RowCount(Stmt(h)->real, count);
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
    return Stmt(h)->driver.FreeStmt(Stmt(h)->real, option);
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT h) {
    return Stmt(h)->driver.Cancel(Stmt(h)->real);
}

}  // extern "C"
