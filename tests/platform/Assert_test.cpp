// The debug assertion: a failed check stops the program and names the check; with checks off
// the condition is not evaluated.
#define QM_ASSERTIONS 1
#include "platform/Assert.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

int CountedTrue(int& Calls) {
    ++Calls;
    return 1;
}

TEST(Assert, HoldingCheckEvaluatesOnceAndGoesOn) {
    int calls = 0;
    QM_ASSERT(CountedTrue(calls) == 1);
    EXPECT_EQ(calls, 1);
}

TEST(AssertDeathTest, FailedCheckAbortsNamingConditionFileAndLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int limit = 32;
    EXPECT_DEATH(QM_ASSERT(limit < 8), "Assert_test\\.cpp:[0-9]+: assertion failed: limit < 8");
}

}  // namespace
}  // namespace qm
