#pragma once
// For the data-source files alone: what the ODBC installer library answers alike on every system.

#include <functional>
#include <string>
#include <vector>

namespace rt {

// The names of a list the installer writes into a buffer, each ended by a NUL and the list by a
// second one. `read` fills the buffer it is given and returns how many characters it wrote, or
// none at all.
std::vector<std::string> ListedNames(const std::function<int(char* buffer, int size)>& read);

}  // namespace rt
