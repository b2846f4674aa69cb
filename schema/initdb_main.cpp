// tallowmere-initdb PATH: creates a new laurel database at PATH, with its tables and code tables.
// It never touches a file that is already there.

#include <cstdio>
#include <string>
#include <string_view>

#include "schema/initdb.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tallowmere-initdb PATH\n"
    "Creates a new laurel database (SQLite) at PATH with its nine tables and the rows of the\n"
    "recommending-unit and subject-code tables. PATH must not exist yet.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    if (argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
        std::fputs(kUsage.data(), stdout);
        return 0;
    }
    if (argc == 3 && std::string_view(argv[1]) == "--") {
        path = argv[2];
    } else if (argc == 2 && argv[1][0] != '-') {
        path = argv[1];
    } else {
        std::fputs(kUsage.data(), stderr);
        return 2;
    }
    if (path.empty()) {
        std::fputs(kUsage.data(), stderr);
        return 2;
    }

    std::string error;
    if (!schema::CreateDatabase(path, error)) {
        std::fprintf(stderr, "tallowmere-initdb: %s\n", error.c_str());
        return 1;
    }
    std::printf("Created %s\n", path.c_str());
    return 0;
}
