#pragma once
// Copying a file to a place the user chose.

#include <string>

namespace rt {

// Copies source over target: 1 copied, -1 the source cannot be read, -2 the target cannot be
// written. The copy is written beside the target and renamed over it, so a copy that fails leaves
// a file that was there whole. A replaced file keeps its permissions (a link keeps pointing where
// it did and its file is replaced); a new file gets those of the process's umask. Copying a file
// onto itself copies nothing and succeeds.
int FileCopy(const std::string& source, const std::string& target);

// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace rt
