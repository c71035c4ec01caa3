#include "LinkTestSupport.h"

namespace {
[[maybe_unused]] auto* const kFastClock =
    ::testing::AddGlobalTestEnvironment(new orvane::test::FastClock);
}  // namespace
