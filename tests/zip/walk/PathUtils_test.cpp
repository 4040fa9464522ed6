// Path and string routines.
#include "zip/walk/PathUtils.h"

#include <gtest/gtest.h>

#include "support/TestDir.h"

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

}  // namespace
}  // namespace qm
