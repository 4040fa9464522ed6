// Path and string routines, percentages.
#include "zip/PathUtils.h"

#include <gtest/gtest.h>

#include "support/TestDir.h"
#include "zip/PercentOf.h"

namespace qm {
namespace {

TEST(PathUtils, SeparatorsAreReplacedInPlace) {
    std::string s = "a\\b/c\\\\d";
    DosToUnixSeparators(s);
    EXPECT_EQ(s, "a/b/c//d");
    UnixToDosSeparators(s);
    EXPECT_EQ(s, "a\\b\\c\\\\d");
}

TEST(PathUtils, LeftAndRightPartClampToTheText) {
    EXPECT_EQ(RightPart("abcdef", 2), "ef");
    EXPECT_EQ(RightPart("abc", 10), "abc");
    EXPECT_EQ(RightPart("abc", 0), "");
    EXPECT_EQ(RightPart("abc", -3), "");
    EXPECT_EQ(LeftPart("abcdef", 2), "ab");
    EXPECT_EQ(LeftPart("abc", 10), "abc");
    EXPECT_EQ(LeftPart("abc", -1), "");
    EXPECT_EQ(LeftPart("", 4), "");
}

TEST(PathUtils, OnlyTheFiveWildcardCharactersCount) {
    for (const char* w : {"*", "a?", "<a>", "x>", "a|b"}) EXPECT_TRUE(IsWildcard(w)) << w;
    for (const char* n : {"", "abc", "[a]", "a\\b", "a.b", "{x}", "~!@#$%^&()"})
        EXPECT_FALSE(IsWildcard(n)) << n;
}

TEST(PathUtils, OemFilterKeepsUtf8Names) {
    std::string s = "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9.txt";
    const std::string before = s;
    OemFilter(s);
    EXPECT_EQ(s, before);
}

TEST(PathUtils, ConvertPathNameKeepsSegmentsOrSpellsThemAsListed) {
    test::TestDir dir;
    dir.File("Docs/Report.TXT", "x");
    const std::string p = dir / "Docs/Report.TXT";
    EXPECT_EQ(ConvertPathName(p, false), p);
    EXPECT_EQ(ConvertPathName(p + "/", false), p + "/");
    EXPECT_EQ(ConvertPathName(p, true), p);
    EXPECT_EQ(ConvertPathName(dir / "Docs/", true), dir / "Docs/");
    // A segment that does not exist is left out of the long form, and so is everything below it
    // (its partial path cannot be found either).
    EXPECT_EQ(ConvertPathName(dir / "Docs/missing/Report.TXT", true), dir / "Docs");
    EXPECT_EQ(ConvertPathName("relative/x", false), "relative/x");
}

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
