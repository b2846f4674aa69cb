// tallowmere-initdb PATH: creates a new laurel database at PATH, with its tables and code tables.
// It never touches a file that is already there.
// tallowmere-initdb --dsn NAME: prepares the empty database that the ODBC data source NAME names,
// as the program will reach it; a database that holds the tables already is left as it is.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/os.h"
#include "schema/initdb.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tallowmere-initdb PATH\n"
    "       tallowmere-initdb --dsn NAME\n"
    "The first creates a new laurel database (SQLite) at PATH with its nine tables and the rows of\n"
    "the recommending-unit and subject-code tables. PATH must not exist yet.\n"
    "The second makes the same tables and rows, in one transaction, in the empty database that the\n"
    "ODBC data source NAME names (a database on a PostgreSQL server, say). A database that holds\n"
    "any of the tables already is refused and left as it was.\n";

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = rt::os::Arguments(argc, argv);
    std::string path;
    std::string dsn;
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        std::fputs(kUsage.data(), stdout);
        return 0;
    }
    if (args.size() == 2 && args[0] == "--dsn") {
        dsn = args[1];
        if (dsn.empty() || dsn.find_first_of(";{}'") != std::string::npos) {
            std::fputs(kUsage.data(), stderr);
            return 2;
        }
    } else if (args.size() == 2 && args[0] == "--") {
        path = args[1];
    } else if (args.size() == 1 && !args[0].starts_with('-')) {
        path = args[0];
    } else {
        std::fputs(kUsage.data(), stderr);
        return 2;
    }

    std::string error;
    if (!dsn.empty()) {
        if (!schema::PrepareDataSource(dsn, error)) {
            std::fprintf(stderr, "tallowmere-initdb: %s\n", error.c_str());
            return 1;
        }
        std::printf("Prepared the database of the data source %s\n", dsn.c_str());
        return 0;
    }
    if (path.empty()) {
        std::fputs(kUsage.data(), stderr);
        return 2;
    }
    if (!schema::CreateDatabase(path, error)) {
        std::fprintf(stderr, "tallowmere-initdb: %s\n", error.c_str());
        return 1;
    }
    std::printf("Created %s\n", path.c_str());
    return 0;
}
