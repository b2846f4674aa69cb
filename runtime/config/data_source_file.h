#pragma once
// For tests of the Linux data-source file alone: each step of its replacement (the copy made, each
// write of the installer into it, its flush, its rename) runs the watch first, so that a test can
// end the process at any of them and look at what it left.

#include <functional>

namespace rt {

void WatchDataSourceFileSteps(std::function<void()> watch);

}  // namespace rt
