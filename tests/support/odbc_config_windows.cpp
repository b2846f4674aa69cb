// Windows: the configuration that the tests' driver manager reads is fixed when the process starts
// (under Wine, the Linux one's, one test to a process), so there is nothing read to forget.

#include "tests/support/scratch_database.h"

namespace testing_support {

void ForgetOdbcConfiguration(const std::filesystem::path&) {}

}  // namespace testing_support
