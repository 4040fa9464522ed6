#include "platform/CommaText.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using TFields = std::vector<std::string>;

TEST(CommaText, WritesPlainFieldsBareAndQuotesTheOthers) {
    EXPECT_EQ(WriteCommaText({"Ms. Office", "*.doc;*.mdb"}), "\"Ms. Office\",*.doc;*.mdb");
    EXPECT_EQ(WriteCommaText({"Pictures", "*.bmp;*.jpg"}), "Pictures,*.bmp;*.jpg");
    EXPECT_EQ(WriteCommaText({"Ms. Office", "*.doc; *.txt"}), "\"Ms. Office\",\"*.doc; *.txt\"");
    EXPECT_EQ(WriteCommaText({"say \"hi\"", "a,b"}), "\"say \"\"hi\"\"\",\"a,b\"");
    EXPECT_EQ(QuoteCommaField("tab\there"), "\"tab\there\"");
    EXPECT_EQ(QuoteCommaField(std::string("\x01", 1)), "\"\x01\"");
}

TEST(CommaText, SpacesOutsideQuotesSeparateFieldsLikeCommas) {
    EXPECT_EQ(ReadCommaText("*.doc, *.txt"), (TFields{"*.doc", "*.txt"}));
    EXPECT_EQ(ReadCommaText("*.doc *.txt"), (TFields{"*.doc", "*.txt"}));
    EXPECT_EQ(ReadCommaText("  *.doc \t ,\t*.txt  "), (TFields{"*.doc", "*.txt"}));
    EXPECT_EQ(ReadCommaText("Ms. Office,*.doc"), (TFields{"Ms.", "Office", "*.doc"}));
}

TEST(CommaText, EmptyFieldsFromDoubleAndTrailingCommas) {
    EXPECT_EQ(ReadCommaText("*.doc,"), (TFields{"*.doc", ""}));
    EXPECT_EQ(ReadCommaText("*.doc,,*.txt"), (TFields{"*.doc", "", "*.txt"}));
    EXPECT_EQ(ReadCommaText(",a"), (TFields{"", "a"}));
    EXPECT_EQ(ReadCommaText(","), (TFields{"", ""}));
    // Only a comma that is the very last character adds the empty field.
    EXPECT_EQ(ReadCommaText("*.doc, "), (TFields{"*.doc"}));
    EXPECT_TRUE(ReadCommaText("").empty());
    EXPECT_TRUE(ReadCommaText("  \t ").empty());
}

TEST(CommaText, QuotedFields) {
    EXPECT_EQ(ReadCommaText("\"Ms. Office\",*.doc;*.mdb"), (TFields{"Ms. Office", "*.doc;*.mdb"}));
    EXPECT_EQ(ReadCommaText("\"a \"\"b\"\" c\",x"), (TFields{"a \"b\" c", "x"}));
    EXPECT_EQ(ReadCommaText("\"\"\"\""), (TFields{"\""}));
    EXPECT_EQ(ReadCommaText("\"\",x"), (TFields{"", "x"}));
    // No closing quote: the field runs to the end.
    EXPECT_EQ(ReadCommaText("\"open, ended"), (TFields{"open, ended"}));
    // Text glued to a closing quote starts a new field.
    EXPECT_EQ(ReadCommaText("\"ab\"cd,e"), (TFields{"ab", "cd", "e"}));
}

TEST(CommaText, TextEndsAtNul) {
    EXPECT_EQ(ReadCommaText(std::string_view("a,b\0c d", 7)), (TFields{"a", "b"}));
    EXPECT_EQ(ReadCommaText(std::string_view("a \0", 3)), (TFields{"a"}));
    EXPECT_EQ(ReadCommaText(std::string_view("\"a\0\"", 4)), (TFields{"a"}));
}

TEST(CommaText, RecordsRoundTrip) {
    const TFields cases[] = {
        {"Ms. Office", "*.doc; *.txt"},
        {"\"quoted\" name", "*.a"},
        {"", ""},
        {"", "x"},
        {"x", ""},
        {" lead", "trail "},
        {"a,b", "c\"d"},
        {"\t\x1f", "\x7f\xc3\xa9"},
        {"one", "two", "three"},
    };
    for (const TFields& fields : cases) {
        EXPECT_EQ(ReadCommaText(WriteCommaText(fields)), fields) << WriteCommaText(fields);
    }
}

}  // namespace
}  // namespace qm
