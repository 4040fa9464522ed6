// The percentages the lists and the progress show.
#include "zip/format/PercentOf.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(PercentOf, RoundsHalvesToEvenAndCaps) {
    EXPECT_EQ(PercentOf(0, 5), 0);
    EXPECT_EQ(PercentOf(-4, 5), 0);
    EXPECT_EQ(PercentOf(3, 1), 33);
    EXPECT_EQ(PercentOf(3, 2), 67);
    EXPECT_EQ(PercentOf(2, 5), 100);
    EXPECT_EQ(PercentOf(200, 1), 0);      // 0.5 -> 0 (even)
    EXPECT_EQ(PercentOf(200, 3), 2);      // 1.5 -> 2
    EXPECT_EQ(PercentOf(200, 5), 2);      // 2.5 -> 2
    EXPECT_EQ(PercentOf(200, 199), 100);  // 99.5 -> 100
    EXPECT_EQ(PercentOf(8, 1), 12);       // 12.5 -> 12
    EXPECT_EQ(PercentOf(8, 3), 38);       // 37.5 -> 38
    EXPECT_EQ(PercentOf(10, 10), 100);
}

TEST(PercentOf, SixtyFourBitFormDoesNotOverflow) {
    const int64_t big = INT64_C(9000000000000000000);
    EXPECT_EQ(PercentOf(big, big / 2), 50);
    EXPECT_EQ(PercentOf(big, big / 3), 33);
    EXPECT_EQ(PercentOf(int64_t{5000000000}, int64_t{2500000000}), 50);
    EXPECT_EQ(PercentOf(int64_t{200}, 5), 2);  // mixed argument types
    EXPECT_EQ(PercentOf(INT32_MAX, INT32_MAX - 1), 100);
    EXPECT_EQ(PercentOf(INT32_MAX, INT32_MAX / 2), 50);
}

}  // namespace
}  // namespace qm
