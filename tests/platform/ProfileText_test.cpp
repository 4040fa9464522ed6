#include "platform/ProfileText.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

std::string Value(std::string_view Text, std::string_view Section, std::string_view Key) {
    auto v = FindProfileValue(Text, Section, Key);
    return v ? std::string(*v) : std::string("<missing>");
}

TEST(ProfileText, NamesIgnoreCaseAndValuesAreTrimmed) {
    const std::string text =
        "top=outside\n"
        "[Other]\r\n"
        "Left=1\r\n"
        " [ Quillmate Window ] \n"
        "; Left=commented\n"
        "  LEFT \t=  0x20 \t\r\n"
        "Empty=\n"
        "noequals\n"
        "Left=second\n";
    EXPECT_EQ(Value(text, "quillmate window", "left"), "0x20");
    EXPECT_EQ(Value(text, "Quillmate Window", "Empty"), "");
    EXPECT_EQ(Value(text, "Quillmate Window", "Top"), "<missing>");
    EXPECT_EQ(Value(text, "Missing", "Left"), "<missing>");
    EXPECT_EQ(Value(text, "Other", "left"), "1");
    // Keys before the first section belong to no section.
    EXPECT_EQ(Value(text, "", "top"), "<missing>");
}

TEST(ProfileText, ValueKeepsInnerSpacesQuotesAndEquals) {
    const std::string text = "[S]\nItem1=\"Ms. Office\",\"*.doc; *.txt\"\nK = a = b \n";
    EXPECT_EQ(Value(text, "S", "Item1"), "\"Ms. Office\",\"*.doc; *.txt\"");
    EXPECT_EQ(Value(text, "S", "K"), "a = b");
}

TEST(ProfileText, ByteOrderMarkIsNoPartOfTheFirstLine) {
    std::string text = "\xEF\xBB\xBF[S]\nK=v\n[T]\nX=1\n";
    EXPECT_EQ(Value(text, "S", "K"), "v");
    ASSERT_TRUE(EraseProfileSection(text, "S"));
    EXPECT_EQ(text, "\xEF\xBB\xBF[T]\nX=1\n");
}

// The sections of other programs, with their comments, blank lines and CR LF ends.
const std::string kForeign =
    "; shared file\r\n"
    "[Other App]\r\n"
    "Path = C:\\x ; not a comment\r\n"
    "\r\n"
    "[Another]\n"
    "a=1\n";

TEST(ProfileText, SetReplacesOnlyTheKeyLine) {
    std::string text = kForeign + "[Quillmate Last]\r\nDirName=/old\r\nBackUpFile=b\r\n";
    std::string out = SetProfileValue(text, "QUILLMATE LAST", "dirname", "/new dir");
    EXPECT_EQ(out, kForeign + "[Quillmate Last]\r\ndirname=/new dir\nBackUpFile=b\r\n");
}

TEST(ProfileText, SetAddsAfterTheLastKeyOfTheSection) {
    std::string text = "[S]\nA=1\n; trailing comment\n\n[T]\nB=2";
    EXPECT_EQ(SetProfileValue(text, "s", "C", "3"),
              "[S]\nA=1\nC=3\n; trailing comment\n\n[T]\nB=2");
    EXPECT_EQ(SetProfileValue(text, "T", "C", "3"),
              "[S]\nA=1\n; trailing comment\n\n[T]\nB=2\nC=3\n");
    EXPECT_EQ(SetProfileValue("[S]", "S", "A", "1"), "[S]\nA=1\n");
}

TEST(ProfileText, SetAppendsAMissingSectionAfterEverything) {
    EXPECT_EQ(SetProfileValue("", "S", "K", "v"), "[S]\nK=v\n");
    EXPECT_EQ(SetProfileValue(kForeign, "S", "K", "v"), kForeign + "[S]\nK=v\n");
    EXPECT_EQ(SetProfileValue("[A]\nx=1", "S", "K", "v"), "[A]\nx=1\n[S]\nK=v\n");
}

TEST(ProfileText, EraseRemovesEverySectionOfThatNameAndNothingElse) {
    std::string text = kForeign + "[S]\nA=1\n[Z]\nz=1\n[s]\n; mine\nB=2\n";
    ASSERT_TRUE(EraseProfileSection(text, "S"));
    EXPECT_EQ(text, kForeign + "[Z]\nz=1\n");
    EXPECT_FALSE(EraseProfileSection(text, "S"));
    EXPECT_EQ(text, kForeign + "[Z]\nz=1\n");
}

TEST(ProfileText, ReplaceEqualsEraseThenWrites) {
    const std::string text = kForeign + "[S]\nWidth0=1\nItem1=a,b\nItem2=c,d\n[Z]\nz=1";
    std::vector<TProfileEntry> entries = {{"Width0", "100"}, {"Item1", "x,y"}, {"width0", "7"}};
    std::string stepwise = text;
    EraseProfileSection(stepwise, "S");
    for (const auto& [key, value] : entries) stepwise = SetProfileValue(stepwise, "S", key, value);
    EXPECT_EQ(ReplaceProfileSection(text, "S", entries), stepwise);
    EXPECT_EQ(stepwise, kForeign + "[Z]\nz=1\n[S]\nwidth0=7\nItem1=x,y\n");
}

TEST(ProfileText, StorableNamesAndValues) {
    EXPECT_TRUE(IsStorableProfileValue("a = \"b\" ; c"));
    EXPECT_FALSE(IsStorableProfileValue("two\nlines"));
    EXPECT_FALSE(IsStorableProfileValue("cr\r"));
    EXPECT_FALSE(IsStorableProfileKey("a=b"));
    EXPECT_FALSE(IsStorableProfileKey("[a"));
    EXPECT_FALSE(IsStorableProfileKey(";a"));
    EXPECT_FALSE(IsStorableProfileKey("  "));
    EXPECT_FALSE(IsStorableProfileSection("a]b"));
    EXPECT_FALSE(IsStorableProfileSection(""));
    EXPECT_TRUE(IsStorableProfileSection("Quillmate FileTypesLists"));
}

}  // namespace
}  // namespace qm
