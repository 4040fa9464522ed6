// The wildcard matcher: masks, result codes, sets and the shared star set.
#include "zip/walk/WildcardMatch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/ReferenceMatcher.h"

namespace qm {
namespace {

TEST(WildcardMatch, FileMasks) {
    EXPECT_TRUE(IsMatch("*.*", "readme."));
    EXPECT_TRUE(IsMatch("*.*", "a.b.c"));
    EXPECT_TRUE(IsMatch("*.", "readme."));
    EXPECT_FALSE(IsMatch("*.", "readme.txt"));
    EXPECT_TRUE(IsMatch("*.DOC", "Report.doc"));
    EXPECT_TRUE(IsMatch("*.doc", "REPORT.DOC"));
    EXPECT_FALSE(IsMatch("*.doc", "report.docx"));
    EXPECT_TRUE(IsMatch("lo?s", "logs"));
    EXPECT_FALSE(IsMatch("lo?s", "los"));
    EXPECT_TRUE(IsMatch("2*", "2026"));
    EXPECT_FALSE(IsMatch("2*", "1999"));
    EXPECT_TRUE(IsMatch("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(IsMatch("a*b*c", "aXXbYY"));
    EXPECT_TRUE(IsMatch("*a*a", "banana"));
}

TEST(WildcardMatch, StarAndEmptyTexts) {
    EXPECT_EQ(MatchPattern("*", ""), mrMatch);
    EXPECT_EQ(MatchPattern("*", "anything at all"), mrMatch);
    EXPECT_EQ(MatchPattern("", ""), mrMatch);
    EXPECT_EQ(MatchPattern("", "a"), mrPatternEnded);
    EXPECT_EQ(MatchPattern("a", ""), mrStop);
    EXPECT_EQ(MatchPattern("a*", "a"), mrMatch);
    EXPECT_EQ(MatchPattern("**", ""), mrStop);
    EXPECT_EQ(MatchPattern("?", ""), mrStop);
}

TEST(WildcardMatch, StarQuestionNeedsExactlyTwo) {
    EXPECT_FALSE(IsMatch("*?", "a"));
    EXPECT_TRUE(IsMatch("*?", "ab"));
    EXPECT_FALSE(IsMatch("*?", "abc"));
}

TEST(WildcardMatch, ResultCodes) {
    EXPECT_EQ(MatchPattern("abc", "abc"), mrMatch);
    EXPECT_EQ(MatchPattern("ab", "abc"), mrPatternEnded);
    EXPECT_EQ(MatchPattern("abc", "ab"), mrStop);
    EXPECT_EQ(MatchPattern("abc", "abd"), mrCharMismatch);
    EXPECT_EQ(MatchPattern("a<b-d>z", "aez"), mrSetMismatch);
    EXPECT_EQ(MatchPattern("a<>z", "abz"), mrBadSet);
    EXPECT_EQ(MatchPattern("a<b", "ab"), mrBadSet);
    EXPECT_EQ(MatchPattern("*<a-z>", "ab1"), mrStop);
}

TEST(WildcardMatch, OneCharacterSets) {
    EXPECT_TRUE(IsMatch("a<b-d>z", "acz"));
    EXPECT_FALSE(IsMatch("a<b-d>z", "aez"));
    EXPECT_TRUE(IsMatch("a<!b-d>z", "aez"));
    EXPECT_FALSE(IsMatch("a<!b-d>z", "acz"));
    EXPECT_TRUE(IsMatch("a<^b-d>z", "aaz"));
    EXPECT_TRUE(IsMatch("<xyz>", "y"));
    EXPECT_TRUE(IsMatch("<xyz>", "Z"));
    EXPECT_FALSE(IsMatch("<xyz>", "w"));
    for (const char* t : {"aac", "abc", "azc", "a-c"}) EXPECT_FALSE(IsMatch("a<z-b>c", t)) << t;
    EXPECT_TRUE(IsMatch("<B-D>.txt", "c.TXT"));
}

TEST(WildcardMatch, MalformedSetsNeverReadPastThePattern) {
    for (const char* p : {"<", "<!", "<^", "<a", "<a-", "<a-b", "<!a", "a<>", "<a->", "a<b-"})
        EXPECT_EQ(MatchPattern(p, "abc"), mrBadSet) << p;
    // An inverted set that never matches runs to its ">" without reading further.
    EXPECT_EQ(MatchPattern("<!a", "b"), mrBadSet);
}

TEST(WildcardMatch, StarSets) {
    EXPECT_TRUE(IsMatch("*<a-z>", "abc"));
    EXPECT_FALSE(IsMatch("*<a-z>", "ab1"));
    EXPECT_FALSE(IsMatch("*<a-z>.txt", "ab1.txt"));
    // The nested match at the first "." clears the star set, so "b" is not tested.
    EXPECT_TRUE(IsMatch("*<a-z>.txt", "a.b.txt"));
    EXPECT_TRUE(IsMatch("*<!0-9>", "abc"));
    EXPECT_FALSE(IsMatch("*<!0-9>", "ab3"));
    EXPECT_TRUE(IsMatch("*<xyz>", "zyx"));
    EXPECT_TRUE(IsMatch("*<>", "anything")) << "an empty star set refuses nothing";
}

TEST(WildcardMatch, UnterminatedStarSetIsBad) {
    for (const char* p : {"*<abc", "*<", "*<!", "*<a-", "*<a-b", "x*<a-z"})
        EXPECT_EQ(MatchPattern(p, "xabc"), mrBadSet) << p;
    EXPECT_FALSE(IsMatch("*<abc", "abc"));
}

TEST(WildcardMatch, StarSetIsSharedAndClearedOnEntry) {
    MatchPattern("*<!a-c>", "xyz");
    EXPECT_TRUE(MatcherStarSet().Inverted);
    EXPECT_TRUE(MatcherStarSet().Members.test('b'));
    EXPECT_FALSE(MatcherStarSet().Members.test('d'));
    EXPECT_EQ(MatchAfterStar("", "xyz"), mrMatch);
    EXPECT_EQ(MatchAfterStar("", "xbz"), mrStop) << "the set left behind refuses b";
    MatchPattern("abc", "abc");
    EXPECT_TRUE(MatcherStarSet().Members.none());
    EXPECT_FALSE(MatcherStarSet().Inverted);
}

TEST(WildcardMatch, OnlyAsciiLettersFoldCase) {
    EXPECT_FALSE(IsMatch("\xC3\x89", "\xC3\xA9"));  // "É" and "é"
    EXPECT_TRUE(IsMatch("\xC3\xA9*", "\xC3\xA9t\xC3\xA9"));
    EXPECT_FALSE(IsMatch("[", "{"));  // no folding outside A..Z
    EXPECT_TRUE(IsMatch("a\\b", "A\\B")) << "backslash is a literal";
}

TEST(WildcardMatch, ManyStarsAnswerQuickly) {
    // Without remembering sub-results this takes exponential time.
    const std::string text(200, 'a');
    EXPECT_FALSE(IsMatch("*a*a*a*a*a*a*a*a*a*a*a*a*b", text));
    EXPECT_TRUE(IsMatch("*a*a*a*a*a*a*a*a*a*a*a*a*a", text));
    EXPECT_FALSE(IsMatch("*<a>*<a>*<a>*<a>*<a>*<a>*<a>*<a>*b", text));
}

// Random short patterns and texts over the characters that matter, seeded so that a failure
// repeats: wherever the independent reference covers the pattern, both give the same answer.
TEST(WildcardMatch, AgreesWithTheReferenceOnRandomPatterns) {
    std::mt19937 random(20261208);
    const std::string patternChars = "ab*?<>-!^A*";
    const std::string textChars = "abAB-c";
    int compared = 0, matches = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string pattern, text;
        for (int k = static_cast<int>(random() % 9); k > 0; --k)
            pattern += patternChars[random() % patternChars.size()];
        for (int k = static_cast<int>(random() % 9); k > 0; --k)
            text += textChars[random() % textChars.size()];
        const test::TReferenceMatcher reference(pattern);
        if (!reference.Covers()) continue;
        ++compared;
        const bool expected = reference.Matches(text);
        matches += expected;
        ASSERT_EQ(IsMatch(pattern, text), expected) << "pattern " << pattern << ", text " << text;
    }
    // The sweep must really compare, and both answers must occur.
    EXPECT_GT(compared, 50000);
    EXPECT_GT(matches, 1000);
    EXPECT_LT(matches, compared - 1000);
}

}  // namespace
}  // namespace qm
