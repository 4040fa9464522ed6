// The end record: its bytes, finding it at the end of a stream (comments up to 65,535 bytes,
// signatures inside the comment, short streams), and the Zip64 end record and locator.
#include "zip/format/EndCentral.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/MemoryStream.h"
#include "zip/format/Zip64.h"

namespace qm {
namespace {

uint32_t Le32(const std::string& S, size_t At) {
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(S[At + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}
uint16_t Le16(const std::string& S, size_t At) {
    return static_cast<uint16_t>(static_cast<unsigned char>(S[At]) |
                                 static_cast<unsigned char>(S[At + 1]) << 8);
}

void FillSample(TEndCentral& E) {
    E.ThisDisk = 0;
    E.CentralDisk = 0;
    E.EntriesOnDisk = 3;
    E.TotalEntries = 3;
    E.CentralSize = 0x1234;
    E.CentralOffset = 0x56789A;
}

TEST(TEndCentral, RecordBytesAndRoundTrip) {
    TEndCentral e;
    FillSample(e);
    e.SetComment("note");
    TMemoryStream s;
    s.Write("0123456789", 10);
    e.SaveToStream(s);
    const std::string b = s.Text().substr(10);
    ASSERT_EQ(b.size(), 26u);
    EXPECT_EQ(e.EndRecordSize(), 26u);
    EXPECT_EQ(Le32(b, 0), 0x06054B50u);  // signature
    EXPECT_EQ(Le16(b, 4), 0);            // this disk
    EXPECT_EQ(Le16(b, 6), 0);            // central directory disk
    EXPECT_EQ(Le16(b, 8), 3);            // entries on this disk
    EXPECT_EQ(Le16(b, 10), 3);           // total entries
    EXPECT_EQ(Le32(b, 12), 0x1234u);     // central directory size
    EXPECT_EQ(Le32(b, 16), 0x56789Au);   // central directory offset
    EXPECT_EQ(Le16(b, 20), 4);           // comment length
    EXPECT_EQ(b.substr(22), "note");

    TEndCentral back;
    ASSERT_TRUE(back.FindInStream(s));
    EXPECT_EQ(back.Signature, 0x06054B50u);
    EXPECT_EQ(back.EntriesOnDisk, 3u);
    EXPECT_EQ(back.TotalEntries, 3u);
    EXPECT_EQ(back.CentralSize, 0x1234u);
    EXPECT_EQ(back.CentralOffset, 0x56789Au);
    EXPECT_EQ(back.CommentLength, 4);
    EXPECT_EQ(back.CommentPosition, 32u);
    EXPECT_EQ(back.RecordPosition, 10u);
    EXPECT_FALSE(back.HasCommentText()) << "the comment is not read";
    EXPECT_FALSE(back.Zip64);
}

TEST(TEndCentral, ShortStreams) {
    TMemoryStream empty;
    TEndCentral e;
    FillSample(e);
    e.Clear();
    EXPECT_TRUE(e.FindInStream(empty)) << "an empty file is an archive with no entries";
    EXPECT_EQ(e.TotalEntries, 0u);
    TMemoryStream one(std::string(1, 'P'));
    EXPECT_FALSE(e.FindInStream(one));
    TMemoryStream twentyOne(std::string("PK\x05\x06", 4) + std::string(17, '\0'));
    EXPECT_FALSE(e.FindInStream(twentyOne));
}

TEST(TEndCentral, FindsTheRecordBehindTheLargestComment) {
    TEndCentral e;
    FillSample(e);
    e.SetComment(std::string(65535, 'c'));
    TMemoryStream s;
    s.Write("prefix", 6);
    e.SaveToStream(s);
    ASSERT_EQ(s.Size(), 6 + 22 + 65535);
    TEndCentral back;
    ASSERT_TRUE(back.FindInStream(s));
    EXPECT_EQ(back.CommentLength, 65535);
    EXPECT_EQ(back.CommentPosition, 28u);
    EXPECT_EQ(back.CentralOffset, 0x56789Au);

    // One byte more of comment puts the record out of reach.
    s.Seek(0, soEnd);
    s.Write("x", 1);
    EXPECT_FALSE(back.FindInStream(s));
}

TEST(TEndCentral, TheSignatureNearestTheEndWins) {
    TEndCentral inner;
    inner.TotalEntries = 9;
    TMemoryStream fake;
    inner.SaveToStream(fake);  // a whole end record, to be hidden in the comment
    TEndCentral e;
    FillSample(e);
    e.SetComment("[" + fake.Text() + "]");
    TMemoryStream s;
    e.SaveToStream(s);
    TEndCentral back;
    ASSERT_TRUE(back.FindInStream(s));
    EXPECT_EQ(back.TotalEntries, 9u);
    EXPECT_EQ(back.RecordPosition, 23u);
}

TEST(TEndCentral, CommentLengthBeyondTheEndIsCut) {
    TEndCentral e;
    FillSample(e);
    TMemoryStream s;
    e.SaveToStream(s);
    std::string b = s.Text();
    b[20] = 50;  // claims 50 bytes of comment
    b += "abc";
    TMemoryStream t(b);
    TEndCentral back;
    ASSERT_TRUE(back.FindInStream(t));
    EXPECT_EQ(back.CommentLength, 3);
    EXPECT_EQ(back.CommentPosition, 22u);
}

TEST(TEndCentral, AssignAndComments) {
    TEndCentral a;
    FillSample(a);
    a.CommentPosition = 99;
    a.CommentChanged = true;
    TEndCentral b;
    b.SetComment("own");
    b.Assign(a);
    EXPECT_EQ(b.TotalEntries, 3u);
    EXPECT_EQ(b.CentralOffset, 0x56789Au);
    EXPECT_EQ(b.CommentPosition, 99u);
    EXPECT_FALSE(b.CommentChanged) << "not copied";
    EXPECT_EQ(b.Comment(), "own");
    EXPECT_EQ(b.CommentLength, 0);
    a.SetComment("theirs");
    b.Assign(a);
    EXPECT_EQ(b.Comment(), "theirs");
    EXPECT_EQ(b.CommentLength, 6);
    b.SetComment("");
    EXPECT_FALSE(b.HasComment());
    EXPECT_FALSE(b.HasCommentText());
}

TEST(TEndCentral, CommentLengthWithoutTextWritesNoDanglingLength) {
    TEndCentral e;
    FillSample(e);
    e.CommentLength = 7;
    TMemoryStream s;
    e.SaveToStream(s);
    EXPECT_EQ(s.Size(), 22);
    EXPECT_EQ(Le16(s.Text(), 20), 0);
}

TEST(TEndCentral, Zip64EndRecordIsWrittenOnlyWhenNeededAndReadBack) {
    TEndCentral small;
    FillSample(small);
    small.CentralOffset = 0xFFFFFFFEull;
    EXPECT_FALSE(EndNeedsZip64(small));

    TEndCentral e;
    FillSample(e);
    e.CentralOffset = 0x1122334455ull;
    e.CentralSize = 0x10;
    ASSERT_TRUE(EndNeedsZip64(e));
    TMemoryStream s;
    s.Write("abcdefgh", 8);  // stands for the central directory's last bytes
    e.SaveToStream(s);
    const std::string b = s.Text();
    ASSERT_EQ(b.size(), 8u + 56 + 20 + 22);
    EXPECT_EQ(e.EndRecordSize(), 98u);
    EXPECT_EQ(Le32(b, 8), kZip64EndSignature);
    EXPECT_EQ(Le32(b, 8 + 4), 44u);  // size of the rest (low half)
    EXPECT_EQ(Le16(b, 8 + 14), 45);  // version needed
    EXPECT_EQ(Le32(b, 8 + 32), 3u);  // total entries (low half)
    EXPECT_EQ(Le32(b, 64), kZip64LocatorSignature);
    EXPECT_EQ(Le32(b, 64 + 8), 8u);   // the Zip64 end record's offset
    EXPECT_EQ(Le32(b, 64 + 16), 1u);  // total disks
    EXPECT_EQ(Le32(b, 84), 0x06054B50u);
    EXPECT_EQ(Le16(b, 84 + 10), 3) << "counts that fit stay in the classic record";
    EXPECT_EQ(Le32(b, 84 + 16), 0xFFFFFFFFu) << "saturated offset";

    TEndCentral back;
    ASSERT_TRUE(back.FindInStream(s));
    EXPECT_TRUE(back.Zip64);
    EXPECT_EQ(back.CentralOffset, 0x1122334455ull);
    EXPECT_EQ(back.TotalEntries, 3u);
    EXPECT_EQ(back.RecordPosition, 84u);
}

TEST(TEndCentral, BrokenZip64LocatorLeavesTheClassicValues) {
    TEndCentral e;
    FillSample(e);
    e.CentralOffset = 0x1122334455ull;
    TMemoryStream s;
    e.SaveToStream(s);
    std::string b = s.Text();
    b[56 + 8] = 100;  // the locator points past itself
    TMemoryStream t(b);
    TEndCentral back;
    ASSERT_TRUE(back.FindInStream(t));
    EXPECT_FALSE(back.Zip64);
    EXPECT_EQ(back.CentralOffset, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace qm
