// Which names may carry bit 11: only well-formed UTF-8. Linux names may hold any bytes, and a
// flagged name that is not UTF-8 makes strict readers refuse the whole archive.
#include <gtest/gtest.h>

#include "platform/MemoryStream.h"
#include "zip/format/Cp437.h"
#include "zip/format/ZipHeaderInfo.h"

namespace qm {
namespace {

TEST(Utf8Names, OnlyWellFormedUtf8IsValid) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain.txt"));
    EXPECT_TRUE(IsValidUtf8("Z\xC3\xBCrich"));      // U+00FC
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC"));       // U+20AC
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));   // U+1F600
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
    EXPECT_FALSE(IsValidUtf8("caf\xE9"));           // Latin-1
    EXPECT_FALSE(IsValidUtf8("\x80"));              // a continuation first
    EXPECT_FALSE(IsValidUtf8("\xC3"));              // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x28\xA1"));      // a bad continuation
}

uint16_t WrittenFlagsOf(const std::string& Name, uint16_t Flags = 0) {
    TZipHeaderInfo entry;
    entry.Flags = Flags;
    entry.SetFileName(Name);
    TMemoryStream stream;
    entry.SaveLocalToStream(stream);
    stream.Seek(0, soBeginning);
    TZipHeaderInfo back;
    EXPECT_TRUE(back.ReadLocalFromStream(stream));
    return back.Flags;
}

TEST(Utf8Names, Bit11OnlyForNonAsciiUtf8) {
    EXPECT_EQ(WrittenFlagsOf("plain.txt") & kFlagUtf8Name, 0);
    EXPECT_EQ(WrittenFlagsOf("Z\xC3\xBCrich") & kFlagUtf8Name, kFlagUtf8Name);
    EXPECT_EQ(WrittenFlagsOf("caf\xE9-\xFF") & kFlagUtf8Name, 0);
    // Raw bytes are never flagged, even when the flags given say so.
    EXPECT_EQ(WrittenFlagsOf("caf\xE9", kFlagUtf8Name) & kFlagUtf8Name, 0);
}

}  // namespace
}  // namespace qm
