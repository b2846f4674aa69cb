#pragma once
// One full recommendation for the benchmarks: every list at its page's limit, every text at its
// column's width in Chinese.

#include <string>

#include "runtime/database/transaction.h"

namespace bench {

// Writes it under the key and commits; ends the process with a message when the database refuses.
void SeedFullRecommendation(rt::Transaction& t, const std::string& id);
// Deletes it again and commits.
void DeleteFullRecommendation(rt::Transaction& t, const std::string& id);

[[noreturn]] void Fail(const std::string& what);

}  // namespace bench
