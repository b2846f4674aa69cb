#pragma once
// For the first start on Windows alone.

#include <string>

namespace rt {

// Undoes a change of the user's data source `name` that was cut off (the program ended, the power
// went) before it was through: the data source is again as it was before that change.
void RecoverUserDataSource(const std::string& name);

}  // namespace rt
