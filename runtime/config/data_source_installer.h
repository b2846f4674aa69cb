#pragma once
// For the data-source files alone: what the ODBC installer library answers alike on every system.

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// The names of a list the installer writes into a buffer, each ended by a NUL and the list by a
// second one. `read` fills the buffer it is given and returns how many characters it wrote, or
// none at all.
std::vector<std::string> ListedNames(const std::function<int(char* buffer, int size)>& read);

// Of the `installed` drivers, the first of `preferred` (compared without regard to case), else the
// first whose name holds "PostgreSQL"; "" when none does.
std::string PickPostgreSQLDriver(const std::vector<std::string>& installed,
                                 std::initializer_list<std::string_view> preferred);

}  // namespace rt
