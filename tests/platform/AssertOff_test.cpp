// With checks off, QM_ASSERT compiles its condition but never evaluates it.
#define QM_ASSERTIONS 0
#include "platform/Assert.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(AssertOff, ConditionIsNotEvaluated) {
    int calls = 0;
    QM_ASSERT(++calls == 0);
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace qm
