#pragma once
// Protection: the document's enforced protection in its settings, with the password's hash.

#include <string_view>

#include "runtime/word/package.h"

namespace rt::word::protection {

// type 0 tracked changes, 1 comments, 2 form fields, 3 read only; it replaces a protection the
// document had. No hash for an empty password. Throws Error for another type.
void Protect(package::Package& package, int type, std::string_view password);

}  // namespace rt::word::protection
