// Linux: unixODBC's installer keeps what it read of the configuration for some twenty seconds,
// whatever files the environment names by then, for as long as anything in the process holds it
// loaded (a driver that was once connected may): a data source written anew would be read as it
// was. A write through the installer makes it forget.

#include <dlfcn.h>
#include <odbcinst.h>

#include "runtime/platform/path.h"
#include "tests/support/scratch_database.h"

namespace testing_support {

void ForgetOdbcConfiguration(const std::filesystem::path& folder) {
    void* lib = ::dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return;
    if (auto write = reinterpret_cast<decltype(&SQLWritePrivateProfileString)>(
            ::dlsym(lib, "SQLWritePrivateProfileString")))
        write("forget", "written", "1", rt::PathText(folder / "forget.ini").c_str());
    ::dlclose(lib);
}

}  // namespace testing_support
