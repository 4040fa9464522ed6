// Entry records: the bytes of the local and central headers as written, reading them back field
// for field, names (split, code page 437, UTF-8 flag), extra fields and Zip64 values.
#include "zip/format/ZipHeaderInfo.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/MemoryStream.h"
#include "zip/format/UnixExtra.h"
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

// 2026-03-14 15:09:26 as a DOS date-time.
constexpr uint32_t kStamp =
    ((2026u - 1980) << 25 | 3u << 21 | 14u << 16) | (15u << 11 | 9u << 5 | 13u);

void FillSample(TZipHeaderInfo& E) {
    E.SetDirectory("docs");
    E.SetFileName("a.txt");
    E.Method = 8;
    E.Flags = 2;
    E.DateTime = kStamp;
    E.CRC = 0x12345678;
    E.CompressedSize = 100;
    E.UncompressedSize = 250;
    E.DiskNumberStart = 0;
    E.InternalAttributes = 1;
    E.ExternalAttributes = 0x81A40020;
}

TEST(TZipHeaderInfo, ClearSetsTheDefaultsOfANewEntry) {
    TZipHeaderInfo e;
    FillSample(e);
    e.SetFileComment("x");
    e.DeleteMark = 1;
    e.Clear();
    EXPECT_EQ(e.VersionMadeBy, 20);
    EXPECT_EQ(e.VersionNeeded, 20);
    EXPECT_EQ(e.Flags, 0);
    EXPECT_EQ(e.Method, 8);
    EXPECT_EQ(e.DateTime, 0u);
    EXPECT_EQ(e.CRC, 0xFFFFFFFFu);
    EXPECT_EQ(e.CompressedSize, 0u);
    EXPECT_EQ(e.UncompressedSize, 0u);
    EXPECT_EQ(e.FileNameLength, 0);
    EXPECT_EQ(e.CommentLength, 0);
    EXPECT_EQ(e.InternalAttributes, 1);
    EXPECT_EQ(e.ExternalAttributes, 0x20u);
    EXPECT_EQ(e.RelativeOffset, 0);
    EXPECT_FALSE(e.HasCommentText());
    EXPECT_EQ(e.DeleteMark, 0);
    EXPECT_EQ(e.StoredName(), "");
}

TEST(TZipHeaderInfo, NameSettersKeepTheLengthAndTheTrailingSlash) {
    TZipHeaderInfo e;
    e.SetDirectory("docs");
    EXPECT_EQ(e.Directory(), "docs/");
    e.SetFileName("a.txt");
    EXPECT_EQ(e.FileNameLength, 10);
    e.SetDirectory("");
    EXPECT_EQ(e.FileNameLength, 5);
    e.SetStoredName("sub/");
    EXPECT_EQ(e.Directory(), "sub/");
    EXPECT_EQ(e.FileName(), "");
    e.SetStoredName("a/b/c.txt");
    EXPECT_EQ(e.Directory(), "a/b/");
    EXPECT_EQ(e.FileName(), "c.txt");
    EXPECT_EQ(e.FileNameLength, 9);
}

TEST(TZipHeaderInfo, LocalHeaderBytes) {
    TMemoryStream s;
    s.Write("xyz", 3);
    TZipHeaderInfo e;
    FillSample(e);
    e.LocalExtraLength = 0;
    e.SaveLocalToStream(s);
    EXPECT_EQ(e.RelativeOffset, 3) << "the offset is the position the header starts at";
    const std::string b = s.Text().substr(3);
    ASSERT_EQ(b.size(), 30u + 10u);
    EXPECT_EQ(Le32(b, 0), 0x04034B50u);       // signature
    EXPECT_EQ(Le16(b, 4), 20);                // version needed
    EXPECT_EQ(Le16(b, 6), 2);                 // flags
    EXPECT_EQ(Le16(b, 8), 8);                 // method
    EXPECT_EQ(Le16(b, 10), kStamp & 0xFFFF);  // time
    EXPECT_EQ(Le16(b, 12), kStamp >> 16);     // date
    EXPECT_EQ(Le32(b, 14), 0x12345678u);      // CRC-32
    EXPECT_EQ(Le32(b, 18), 100u);             // compressed size
    EXPECT_EQ(Le32(b, 22), 250u);             // uncompressed size
    EXPECT_EQ(Le16(b, 26), 10);               // name length
    EXPECT_EQ(Le16(b, 28), 0);                // extra length
    EXPECT_EQ(b.substr(30), "docs/a.txt");
    EXPECT_EQ(e.LocalRecordSize(), 40u);
}

TEST(TZipHeaderInfo, CentralHeaderBytesAndReadBack) {
    TMemoryStream s;
    TZipHeaderInfo e;
    FillSample(e);
    e.VersionMadeBy = 0x031E;
    e.RelativeOffset = 0x01020304;
    e.SetFileComment("hello");
    e.SaveCentralToStream(s);
    const std::string b = s.Text();
    ASSERT_EQ(b.size(), 46u + 10u + 5u);
    EXPECT_EQ(e.CentralRecordSize(), b.size());
    EXPECT_EQ(Le32(b, 0), 0x02014B50u);  // signature
    EXPECT_EQ(Le16(b, 4), 0x031E);       // version made by
    EXPECT_EQ(Le16(b, 6), 20);           // version needed
    EXPECT_EQ(Le16(b, 8), 2);            // flags
    EXPECT_EQ(Le16(b, 10), 8);           // method
    EXPECT_EQ(Le16(b, 12), kStamp & 0xFFFF);
    EXPECT_EQ(Le16(b, 14), kStamp >> 16);
    EXPECT_EQ(Le32(b, 16), 0x12345678u);  // CRC-32
    EXPECT_EQ(Le32(b, 20), 100u);         // compressed size
    EXPECT_EQ(Le32(b, 24), 250u);         // uncompressed size
    EXPECT_EQ(Le16(b, 28), 10);           // name length
    EXPECT_EQ(Le16(b, 30), 0);            // extra length
    EXPECT_EQ(Le16(b, 32), 5);            // comment length
    EXPECT_EQ(Le16(b, 34), 0);            // disk number start
    EXPECT_EQ(Le16(b, 36), 1);            // internal attributes
    EXPECT_EQ(Le32(b, 38), 0x81A40020u);  // external attributes
    EXPECT_EQ(Le32(b, 42), 0x01020304u);  // relative offset
    EXPECT_EQ(b.substr(46), "docs/a.txthello");

    // Read back behind 7 bytes of something else.
    TMemoryStream r(std::string(7, 'q') + b + "PK");
    r.Seek(7, soBeginning);
    TZipHeaderInfo back;
    back.LocalExtraLength = 9;
    ASSERT_TRUE(back.ReadCentralFromStream(r));
    EXPECT_EQ(r.Position(), 7 + static_cast<int64_t>(b.size())) << "stands at the next record";
    EXPECT_EQ(back.VersionMadeBy, 0x031E);
    EXPECT_EQ(back.VersionNeeded, 20);
    EXPECT_EQ(back.Flags, 2);
    EXPECT_EQ(back.Method, 8);
    EXPECT_EQ(back.DateTime, kStamp);
    EXPECT_EQ(back.CRC, 0x12345678u);
    EXPECT_EQ(back.CompressedSize, 100u);
    EXPECT_EQ(back.UncompressedSize, 250u);
    EXPECT_EQ(back.FileNameLength, 10);
    EXPECT_EQ(back.CentralExtraLength, 0);
    EXPECT_EQ(back.LocalExtraLength, 9) << "left as it was";
    EXPECT_EQ(back.CommentLength, 5);
    EXPECT_FALSE(back.HasCommentText()) << "the comment is loaded on demand";
    EXPECT_EQ(back.InternalAttributes, 1);
    EXPECT_EQ(back.ExternalAttributes, 0x81A40020u);
    EXPECT_EQ(back.RelativeOffset, 0x01020304);
    EXPECT_EQ(back.CentralOffset, 7u);
    EXPECT_EQ(back.Directory(), "docs/");
    EXPECT_EQ(back.FileName(), "a.txt");
}

// An entry made on Unix: version made by 0x0314, st_mode above the DOS attribute word, and the
// extended timestamp (signed 32-bit seconds since 1970 UTC) as its extra field; a time beyond
// that range gets no field rather than a wrapped one.
TEST(TZipHeaderInfo, UnixEntryBytesAndReadBack) {
    const struct {
        uint32_t Mode;
        int64_t Time;
        std::string Extra;
    } cases[] = {
        {0100600, 1700000001, std::string("UT\x05\x00\x01\x01\xF1\x53\x65", 9)},
        {0100755, 170856001, std::string("UT\x05\x00\x01\x41\x0E\x2F\x0A", 9)},  // 1975
        {0120777, -1, std::string("UT\x05\x00\x01\xFF\xFF\xFF\xFF", 9)},
        {040700, -2147483648LL, std::string("UT\x05\x00\x01\x00\x00\x00\x80", 9)},
        {040755, 2147483648LL, ""},
        {0100644, -2147483649LL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Time);
        EXPECT_EQ(TimestampExtra(c.Time), c.Extra);
        TZipHeaderInfo e;
        FillSample(e);
        e.ExternalAttributes = 0x21;
        SetUnixMetadata(e, c.Mode, c.Time);
        TMemoryStream s;
        e.SaveCentralToStream(s);
        const std::string b = s.Text();
        ASSERT_EQ(b.size(), 46u + 10u + c.Extra.size());
        EXPECT_EQ(Le16(b, 4), 0x0314);                // version made by: Unix, 2.0
        EXPECT_EQ(Le16(b, 6), 20);                    // version needed
        EXPECT_EQ(Le16(b, 30), c.Extra.size());       // extra length
        EXPECT_EQ(Le32(b, 38), c.Mode << 16 | 0x21);  // external attributes
        EXPECT_EQ(b.substr(46, 10), "docs/a.txt");
        EXPECT_EQ(b.substr(56), c.Extra);  // the extra field, byte for byte
        TMemoryStream r(b);
        TZipHeaderInfo back;
        ASSERT_TRUE(back.ReadCentralFromStream(r));
        EXPECT_EQ(back.VersionMadeBy, 0x0314);
        EXPECT_EQ(back.ExternalAttributes, c.Mode << 16 | 0x21);
        EXPECT_EQ(back.CentralExtra, c.Extra) << "kept, so that a copied entry keeps it";
    }
}

TEST(TZipHeaderInfo, LocalHeaderReadBack) {
    TMemoryStream s;
    s.Write("abcd", 4);
    TZipHeaderInfo e;
    FillSample(e);
    e.LocalExtraLength = 4;
    e.SaveLocalToStream(s);
    s.Write("\x99\x99\x00\x00", 4);  // an empty extra block of id 0x9999
    s.Seek(4, soBeginning);
    TZipHeaderInfo back;
    back.SetFileComment("old");
    ASSERT_TRUE(back.ReadLocalFromStream(s));
    EXPECT_EQ(s.Position(), 4 + 30 + 10) << "left right after the name";
    EXPECT_EQ(back.VersionMadeBy, 0);
    EXPECT_EQ(back.Flags, 2);
    EXPECT_EQ(back.DateTime, kStamp);
    EXPECT_EQ(back.CRC, 0x12345678u);
    EXPECT_EQ(back.CompressedSize, 100u);
    EXPECT_EQ(back.UncompressedSize, 250u);
    EXPECT_EQ(back.LocalExtraLength, 4);
    EXPECT_EQ(back.ExternalAttributes, 0u);
    EXPECT_EQ(back.RelativeOffset, 4);
    EXPECT_FALSE(back.HasCommentText());
    EXPECT_EQ(back.StoredName(), "docs/a.txt");
    EXPECT_FALSE(back.Zip64Local);
}

TEST(TZipHeaderInfo, ReadsRefuseWhatIsNoRecordAndRestoreThePosition) {
    TZipHeaderInfo e;
    FillSample(e);
    TMemoryStream whole;
    e.SaveCentralToStream(whole);
    const std::string good = whole.Text();
    const std::string cases[] = {
        "",                             // nothing
        good.substr(0, 45),             // short fixed part
        good.substr(0, 50),             // name cut
        "PK\x05\x06" + good.substr(4),  // another signature
    };
    for (const std::string& bytes : cases) {
        TMemoryStream s("ab" + bytes);
        s.Seek(2, soBeginning);
        TZipHeaderInfo r;
        EXPECT_FALSE(r.ReadCentralFromStream(s)) << bytes.size();
        EXPECT_EQ(s.Position(), 2);
        EXPECT_FALSE(r.ReadLocalFromStream(s));
        EXPECT_EQ(s.Position(), 2);
    }
}

TEST(TZipHeaderInfo, ReadingRepairsTheDate) {
    TZipHeaderInfo e;
    FillSample(e);
    e.DateTime = kStamp & ~(0xFu << 21);  // month 0
    TMemoryStream s;
    e.SaveCentralToStream(s);
    s.Seek(0, soBeginning);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadCentralFromStream(s));
    EXPECT_EQ((back.DateTime >> 21) & 0xF, 1u);
    EXPECT_EQ(back.DateTime & ~(0xFu << 21), e.DateTime & ~(0xFu << 21));
}

TEST(TZipHeaderInfo, CommentLengthWithoutTextWritesNoDanglingLength) {
    TZipHeaderInfo e;
    FillSample(e);
    e.CommentLength = 5;
    TMemoryStream s;
    e.SaveCentralToStream(s);
    EXPECT_EQ(s.Size(), 46 + 10);
    EXPECT_EQ(Le16(s.Text(), 32), 0) << "the length field says what was written";
    EXPECT_EQ(e.CommentLength, 0);
}

TEST(TZipHeaderInfo, AssignCopiesFieldsAndKeepsOwnCommentWhenSourceHasNone) {
    TZipHeaderInfo a;
    FillSample(a);
    a.RelativeOffset = 77;
    a.CentralExtra = std::string("\x34\x12\x01\x00Z", 5);
    a.SkipState = 2;
    TZipHeaderInfo b;
    b.SetFileComment("mine");
    b.Assign(a);
    EXPECT_EQ(b.StoredName(), "docs/a.txt");
    EXPECT_EQ(b.FileNameLength, 10);
    EXPECT_EQ(b.RelativeOffset, 77);
    EXPECT_EQ(b.CentralExtra, a.CentralExtra);
    EXPECT_EQ(b.SkipState, 2);
    EXPECT_EQ(b.ExternalAttributes, 0x81A40020u);
    EXPECT_EQ(b.CommentLength, 0) << "the length is a field like any other";
    EXPECT_EQ(b.Comment(), "mine") << "no source comment: the own text stays";

    a.SetFileComment("theirs");
    b.Assign(a);
    EXPECT_EQ(b.Comment(), "theirs");
    a.SetFileComment("changed");
    EXPECT_EQ(b.Comment(), "theirs") << "a private copy";
    TZipHeaderInfo c;
    b.AssignTo(c);
    EXPECT_EQ(c.Comment(), "theirs");
}

TEST(TZipHeaderInfo, NamesNotAsciiAreWrittenAsUtf8WithBit11) {
    TZipHeaderInfo e;
    e.SetFileName("caf\xC3\xA9.txt");  // café.txt
    TMemoryStream s;
    e.SaveCentralToStream(s);
    EXPECT_EQ(Le16(s.Text(), 8), 0x0800);
    EXPECT_EQ(e.Flags, 0) << "the field itself is not changed";
    s.Seek(0, soBeginning);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadCentralFromStream(s));
    EXPECT_EQ(back.FileName(), "caf\xC3\xA9.txt");

    TMemoryStream plain;
    TZipHeaderInfo ascii;
    ascii.SetFileName("plain.txt");
    ascii.SaveLocalToStream(plain);
    EXPECT_EQ(Le16(plain.Text(), 6), 0) << "ASCII names keep the flags as they are";
}

TEST(TZipHeaderInfo, NamesWithoutBit11AreDecodedFromCodePage437) {
    EXPECT_EQ(TZipHeaderInfo::DecodeName("\x82t\x82.txt", 0), "\xC3\xA9t\xC3\xA9.txt");
    EXPECT_EQ(TZipHeaderInfo::DecodeName("\x82t\x82.txt", kFlagUtf8Name), "\x82t\x82.txt");
    EXPECT_EQ(TZipHeaderInfo::DecodeName("ascii", 0), "ascii");
}

// Builds a central record by hand, with the given extra field.
std::string CentralWithExtra(uint32_t Compressed, uint32_t Uncompressed, uint32_t Offset,
                             const std::string& Extra, uint16_t Disk = 0) {
    TZipHeaderInfo e;
    e.SetFileName("big.bin");
    e.DateTime = kStamp;
    e.VersionNeeded = 45;
    e.CentralExtra = Extra;
    TMemoryStream s;
    e.SaveCentralToStream(s);
    std::string b = s.Text();
    // The values go in by hand, so that saturated ones come without a generated Zip64 block.
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
    };
    put32(20, Compressed);
    put32(24, Uncompressed);
    put32(42, Offset);
    b[34] = static_cast<char>(Disk);
    b[35] = static_cast<char>(Disk >> 8);
    return b;
}

std::string Block(uint16_t Id, const std::string& Data) {
    std::string out;
    out += static_cast<char>(Id);
    out += static_cast<char>(Id >> 8);
    out += static_cast<char>(Data.size());
    out += static_cast<char>(Data.size() >> 8);
    return out + Data;
}

std::string U64(uint64_t V) {
    std::string out;
    for (int i = 0; i < 8; ++i) out += static_cast<char>(V >> (8 * i));
    return out;
}

TEST(TZipHeaderInfo, ExtraBlocksAreKeptAndTheWrittenRecordAgreesWithItself) {
    const std::string other = Block(0x5455, "\x01\x02\x03\x04\x05");
    const std::string rec = CentralWithExtra(10, 20, 30, other);
    TMemoryStream s(rec + "next");
    TZipHeaderInfo e;
    ASSERT_TRUE(e.ReadCentralFromStream(s));
    EXPECT_EQ(e.CentralExtraLength, other.size());
    EXPECT_EQ(e.CentralExtra, other);
    EXPECT_EQ(s.Position(), static_cast<int64_t>(rec.size()));

    TMemoryStream out;
    e.SaveCentralToStream(out);
    EXPECT_EQ(out.Text(), rec) << "read and written again, byte for byte";
    EXPECT_EQ(e.CentralRecordSize(), rec.size());
}

TEST(TZipHeaderInfo, Zip64ValuesAreReadFromTheCentralExtraField) {
    const uint64_t big = 0x123456789ull;
    const std::string z64 = Block(kZip64ExtraId, U64(big) + U64(big + 1) + U64(big + 2));
    const std::string other = Block(0x7875, "\x01\x04");
    const std::string rec = CentralWithExtra(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, z64 + other);
    TMemoryStream s(rec);
    TZipHeaderInfo e;
    ASSERT_TRUE(e.ReadCentralFromStream(s));
    EXPECT_EQ(e.UncompressedSize, big);
    EXPECT_EQ(e.CompressedSize, big + 1);
    EXPECT_EQ(e.RelativeOffset, static_cast<int64_t>(big + 2));
    EXPECT_EQ(e.CentralExtra, other) << "the Zip64 block is taken apart, the rest kept";

    TMemoryStream out;
    e.SaveCentralToStream(out);
    EXPECT_EQ(out.Text(), rec) << "the Zip64 block is rebuilt in front of the kept ones";
    EXPECT_EQ(Le16(out.Text(), 6), 45) << "version needed for Zip64";
}

TEST(TZipHeaderInfo, Zip64CentralBlockHoldsOnlyTheValuesThatDoNotFit) {
    TZipHeaderInfo e;
    e.SetFileName("f");
    e.UncompressedSize = 5000000000ull;
    e.CompressedSize = 4000;
    e.RelativeOffset = 10;
    EXPECT_TRUE(CentralNeedsZip64(e));
    EXPECT_EQ(Zip64CentralExtra(e), Block(kZip64ExtraId, U64(5000000000ull)));
    TMemoryStream s;
    e.SaveCentralToStream(s);
    EXPECT_EQ(Le32(s.Text(), 24), 0xFFFFFFFFu);
    EXPECT_EQ(Le32(s.Text(), 20), 4000u);
    s.Seek(0, soBeginning);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadCentralFromStream(s));
    EXPECT_EQ(back.UncompressedSize, 5000000000ull);
    EXPECT_EQ(back.CompressedSize, 4000u);
    EXPECT_TRUE(back.CentralExtra.empty());

    e.UncompressedSize = 0xFFFFFFFEull;
    EXPECT_FALSE(CentralNeedsZip64(e)) << "0xFFFFFFFE still fits";
    e.DiskNumberStart = 0xFFFF;
    EXPECT_EQ(Zip64CentralExtra(e), Block(kZip64ExtraId, std::string("\xFF\xFF\0\0", 4)));
}

TEST(TZipHeaderInfo, Zip64LocalHeaderRoundTrip) {
    TZipHeaderInfo e;
    e.SetFileName("huge.iso");
    e.UncompressedSize = 6000000000ull;
    e.CompressedSize = 5900000000ull;
    e.Zip64Local = true;
    e.LocalExtraLength = kZip64LocalExtraSize;
    TMemoryStream s;
    e.SaveLocalToStream(s);
    WriteZip64LocalExtra(s, e);
    s.Write("DATA", 4);
    const std::string b = s.Text();
    EXPECT_EQ(Le32(b, 18), 0xFFFFFFFFu);
    EXPECT_EQ(Le32(b, 22), 0xFFFFFFFFu);
    EXPECT_EQ(Le16(b, 28), kZip64LocalExtraSize);
    EXPECT_EQ(Le16(b, 4), 45);
    EXPECT_EQ(b.size(), 30u + 8 + 20 + 4);

    s.Seek(0, soBeginning);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadLocalFromStream(s));
    EXPECT_EQ(s.Position(), 38) << "the extra field is looked at, but not skipped";
    EXPECT_TRUE(back.Zip64Local);
    EXPECT_EQ(back.UncompressedSize, 6000000000ull);
    EXPECT_EQ(back.CompressedSize, 5900000000ull);
}

TEST(TZipHeaderInfo, MalformedExtraFieldsAreKeptAsTheyAre) {
    // A block header that claims more bytes than there are, then a truncated Zip64 block.
    const std::string bad = std::string("\x01\x00\x10\x00\x01\x02", 6);
    const std::string rec = CentralWithExtra(0xFFFFFFFF, 7, 0, bad);
    TMemoryStream s(rec);
    TZipHeaderInfo e;
    ASSERT_TRUE(e.ReadCentralFromStream(s));
    EXPECT_EQ(e.CompressedSize, 0xFFFFFFFFu) << "no value to take";
    EXPECT_EQ(e.CentralExtra, bad);
}

TEST(TZipHeaderInfo, NextVolumeCompletesARecordSplitAcrossVolumes) {
    TZipHeaderInfo e;
    FillSample(e);
    TMemoryStream whole;
    e.SaveCentralToStream(whole);
    const std::string b = whole.Text();
    TMemoryStream first(b.substr(0, 20));
    TMemoryStream second(b.substr(20));
    int calls = 0;
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadCentralFromStream(first, [&]() -> TStream* {
        ++calls;
        return &second;
    }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(back.StoredName(), "docs/a.txt");
    EXPECT_EQ(second.Position(), static_cast<int64_t>(b.size() - 20));
}

// An entry read with a code page 437 name and written again (an update copies kept entries)
// must keep its name bytes and flags: re-encoding the decoded name as UTF-8 with bit 11 would
// rename the entry for every reader that honours the bit.
TEST(TZipHeaderInfo, NamesReadFromCodePage437AreWrittenBackByteForByte) {
    TZipHeaderInfo source;
    source.SetFileName("x.txt");
    source.DateTime = kStamp;
    TMemoryStream s;
    source.SaveCentralToStream(s);
    std::string raw = s.Text();
    const std::string name =
        "d\x82j\x85/\x81"
        "ber.txt";  // dejà/über.txt in code page 437
    raw.replace(46, 5, name);
    raw[28] = static_cast<char>(name.size());

    TMemoryStream in(raw);
    TZipHeaderInfo e;
    ASSERT_TRUE(e.ReadCentralFromStream(in));
    EXPECT_EQ(e.StoredName(),
              "d\xC3\xA9j\xC3\xA0/\xC3\xBC"
              "ber.txt");

    TMemoryStream central;
    e.SaveCentralToStream(central);
    const std::string c = central.Text();
    EXPECT_EQ(Le16(c, 8) & kFlagUtf8Name, 0);
    EXPECT_EQ(Le16(c, 28), name.size());
    EXPECT_EQ(c.substr(46, name.size()), name);
    EXPECT_EQ(e.CentralRecordSize(), c.size()) << "the size functions count the bytes written";

    TZipHeaderInfo copy;
    copy.Assign(e);
    TMemoryStream local;
    copy.SaveLocalToStream(local);
    const std::string l = local.Text();
    EXPECT_EQ(Le16(l, 6) & kFlagUtf8Name, 0);
    EXPECT_EQ(Le16(l, 26), name.size());
    EXPECT_EQ(l.substr(30), name);

    // A renamed entry is a new name: UTF-8 with bit 11.
    copy.SetFileName("\xC3\xBC.txt");
    TMemoryStream renamed;
    copy.SaveLocalToStream(renamed);
    EXPECT_EQ(renamed.Text().substr(30), "d\xC3\xA9j\xC3\xA0/\xC3\xBC.txt");
    EXPECT_NE(Le16(renamed.Text(), 6) & kFlagUtf8Name, 0);
    EXPECT_EQ(copy.LocalRecordSize(), renamed.Text().size());

    // Renamed back to the name it was read with: still a new name, written as UTF-8.
    copy.SetFileName("ber.txt");
    copy.SetDirectory("d\xC3\xA9j\xC3\xA0/");
    copy.SetFileName(
        "\xC3\xBC"
        "ber.txt");
    TMemoryStream back;
    copy.SaveLocalToStream(back);
    EXPECT_EQ(copy.LocalRecordSize(), back.Text().size());
    EXPECT_NE(Le16(back.Text(), 6) & kFlagUtf8Name, 0);
}

}  // namespace
}  // namespace qm
