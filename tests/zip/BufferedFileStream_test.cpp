#include "zip/BufferedFileStream.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TestDir.h"

namespace qm {
namespace {

using test::ReadWholeFile;
using test::TestDir;

std::string Pattern(size_t Size) {
    std::string s(Size, '\0');
    for (size_t i = 0; i < Size; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

TEST(TBufferedFileStream, CuttingTheFileDropsTheReadAheadAndKeepsThePositionInside) {
    TestDir dir;
    const std::string content = Pattern(20000);
    std::string path = dir.File("f.bin", content);
    {
        TBufferedFileStream s(path, fmOpenReadWrite);
        char b[10];
        ASSERT_EQ(s.Read(b, 10), 10);  // a whole buffer read ahead
        s.SetSize(5);
        // The position lay beyond the new end: it is the end now, and nothing is left to read.
        EXPECT_EQ(s.Position(), 5);
        EXPECT_EQ(s.Size(), 5);
        EXPECT_EQ(s.Read(b, 10), 0);
        s.WriteBuffer("XY", 2);
    }
    EXPECT_EQ(ReadWholeFile(path), content.substr(0, 5) + "XY");

    path = dir.File("g.bin", content);
    {
        TBufferedFileStream s(path, fmOpenReadWrite);
        char b[4];
        ASSERT_EQ(s.Read(b, 4), 4);
        s.WriteBuffer("12", 2);  // pending when the file is cut
        s.SetSize(9000);
        EXPECT_EQ(s.Position(), 6);
        EXPECT_EQ(s.Size(), 9000);
        ASSERT_EQ(s.Read(b, 4), 4);
        EXPECT_EQ(std::string(b, 4), content.substr(6, 4));
    }
    EXPECT_EQ(ReadWholeFile(path), content.substr(0, 4) + "12" + content.substr(6, 8994));
}

}  // namespace
}  // namespace qm
