#pragma once
// Windows' data sources, for the first start alone.

#include <windows.h>

#include <string>

#include "runtime/config/data_source.h"

namespace rt {

// Where the data source `name` of `scope` is kept: its registry root, and its key there.
HKEY DataSourceRoot(DataSourceScope scope);
std::wstring DataSourceKey(const std::string& name, DataSourceScope scope);

// Undoes a change of the user's data source `name` that was cut off (the program ended, the power
// went) before it was through: the data source is again as it was before that change.
void RecoverUserDataSource(const std::string& name);

}  // namespace rt
