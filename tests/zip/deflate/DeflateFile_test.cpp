// DeflateFile on small inputs whose streams can be worked out by hand, and the effects on the
// entry header: method, flags and the text/binary classification.
#include "zip/deflate/DeflateFile.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/zip/deflate/DeflateTestUtil.h"

namespace qm {
namespace {

using test::Compress;
using test::DecodeDeflate;

TEST(TDeflateStaticTables, EqualTheFormatsTables) {
    TDeflateStaticTables T;
    EXPECT_FALSE(T.Built());
    T.BuildStaticTables();
    EXPECT_TRUE(T.Built());
    // Length codes: lengths 3..10 one each, 11/12 -> code 8, 258 -> 28, 257 -> 27.
    EXPECT_EQ(T.LengthCode[0], 0);
    EXPECT_EQ(T.LengthCode[7], 7);
    EXPECT_EQ(T.LengthCode[8], 8);
    EXPECT_EQ(T.LengthCode[9], 8);
    EXPECT_EQ(T.LengthCode[254], 27);
    EXPECT_EQ(T.LengthCode[255], 28);
    EXPECT_EQ(T.BaseLength[8], 8);     // length 11
    EXPECT_EQ(T.BaseLength[27], 224);  // length 227
    // Distance codes: 1..4 one each, 5/6 -> 4, 257 -> 16, 24577..32768 -> 29.
    EXPECT_EQ(T.DistanceCodeOf(0), 0);
    EXPECT_EQ(T.DistanceCodeOf(4), 4);
    EXPECT_EQ(T.DistanceCodeOf(5), 4);
    EXPECT_EQ(T.DistanceCodeOf(255), 15);
    EXPECT_EQ(T.DistanceCodeOf(256), 16);
    EXPECT_EQ(T.DistanceCodeOf(24576), 29);
    EXPECT_EQ(T.DistanceCodeOf(32767), 29);
    EXPECT_EQ(T.BaseDistance[16], 256);
    EXPECT_EQ(T.BaseDistance[29], 24576);
    // Fixed codes, stored bit-reversed: 'a' (97) is 0x30 + 97 = 10010001 over 8 bits; 256 is
    // seven zeros; 144 is 110010000 over 9 bits; 280 is 11000000.
    EXPECT_EQ(T.FixedLiteralCodes[97].Length, 8);
    EXPECT_EQ(T.FixedLiteralCodes[97].Code, 0b10001001);
    EXPECT_EQ(T.FixedLiteralCodes[256].Length, 7);
    EXPECT_EQ(T.FixedLiteralCodes[256].Code, 0);
    EXPECT_EQ(T.FixedLiteralCodes[144].Length, 9);
    EXPECT_EQ(T.FixedLiteralCodes[144].Code, 0b000010011);
    EXPECT_EQ(T.FixedLiteralCodes[280].Code, 0b00000011);
    EXPECT_EQ(T.FixedDistanceCodes[1].Code, 0b10000);
}

TEST(DeflateFile, EmptyFileIsAStoredEntryWithNoBytes) {
    const auto C = Compress("", 6);
    EXPECT_EQ(C.Result.CompressedSize, 0u);
    EXPECT_TRUE(C.Result.WrittenRaw);
    EXPECT_EQ(C.Entry.Method, 0);
    EXPECT_EQ(C.Entry.InternalAttributes, 1);  // both counts are 0: text
    EXPECT_TRUE(C.Output.empty());
    // One read that ends the input, and one (empty) hand-over that lets the writer cancel.
    ASSERT_EQ(C.Reads.size(), 1u);
    EXPECT_EQ(C.Reads[0].Asked, 32768u);
    ASSERT_EQ(C.Writes.size(), 1u);
    EXPECT_EQ(C.Writes[0], 0u);
}

TEST(DeflateFile, FilesThatDoNotCompressInTheirOnlyBlockAreWrittenRaw) {
    for (const std::string& In :
         {std::string("a"), std::string("ab"), std::string("abc"), test::MakeRandom(5000)}) {
        for (int Level = 1; Level <= 9; ++Level) {
            const auto C = Compress(In, Level);
            EXPECT_EQ(C.Entry.Method, 0) << In.size() << " bytes, level " << Level;
            EXPECT_TRUE(C.Result.WrittenRaw);
            EXPECT_EQ(C.Output, In);
            EXPECT_EQ(C.Result.CompressedSize, In.size());
        }
    }
}

// Ten equal bytes: two literals (the string at offset 0 is never a match source, and at offset
// 1 the only candidate is offset 0), then a match of 8 at distance 1, in fixed codes:
//   header 1,1,0 | 'a' 10010001 | 'a' 10010001 | length 8 = symbol 262: 0000110 |
//   distance code 0: 00000 | end of block: 0000000, written least significant bit first.
TEST(DeflateFile, TenEqualBytesGiveTheHandCheckedStream) {
    const std::string Expected("\x4B\x4C\x84\x01\x00", 5);
    for (int Level = 1; Level <= 9; ++Level) {
        const auto C = Compress("aaaaaaaaaa", Level);
        EXPECT_EQ(C.Output, Expected) << "level " << Level;
        EXPECT_EQ(C.Entry.Method, 8);
        EXPECT_FALSE(C.Result.WrittenRaw);
        EXPECT_EQ(C.Result.CompressedSize, 5u);
        EXPECT_EQ(C.Entry.InternalAttributes, 1);
    }
}

TEST(DeflateFile, FlagsGetTheFastAndMaximumOptionBits) {
    for (int Level = 1; Level <= 9; ++Level) {
        for (const std::string& In : {std::string(), test::MakeText(3000)}) {
            TDeflateBuffers Buffers;
            TDeflateStaticTables Tables;
            test::TMemoryDeflateIO IO(In);
            TDeflateEntryBits Entry;
            Entry.Flags = 0x0800;  // other bits stay as they were
            DeflateFile(Level, Buffers, Tables, IO, Entry);
            const uint16_t Expected = Level <= 2 ? 0x0804 : Level >= 8 ? 0x0802 : 0x0800;
            EXPECT_EQ(Entry.Flags, Expected) << "level " << Level << ", " << In.size() << " bytes";
        }
    }
}

TEST(DeflateFile, RejectsLevelsOutsideOneToNineBeforeTouchingAnything) {
    for (int Level : {0, -1, 10, 1000}) {
        TDeflateBuffers Buffers;
        TDeflateStaticTables Tables;
        test::TMemoryDeflateIO IO("some input");
        TDeflateEntryBits Entry;
        EXPECT_THROW(DeflateFile(Level, Buffers, Tables, IO, Entry), EInvalidPackLevel);
        EXPECT_TRUE(IO.Reads.empty());
        EXPECT_TRUE(IO.Writes.empty());
        EXPECT_EQ(Entry.Flags, 0);
        EXPECT_EQ(Entry.Method, 8);
        EXPECT_EQ(Entry.InternalAttributes, 2);
    }
    try {
        TDeflateBuffers Buffers;
        TDeflateStaticTables Tables;
        test::TMemoryDeflateIO IO("");
        TDeflateEntryBits Entry;
        DeflateFile(12, Buffers, Tables, IO, Entry);
        FAIL() << "level 12 accepted";
    } catch (const EInvalidPackLevel& E) {
        EXPECT_EQ(E.Message(), "Compression level 12 is out of range: it must be 1 to 9");
    }
}

TEST(DeflateFile, ReadsHalfAWindowFirstAndEndsOnAnEmptyRead) {
    const auto C = Compress(test::MakeText(32768), 6);
    ASSERT_EQ(C.Reads.size(), 2u);
    EXPECT_EQ(C.Reads[0].Asked, 32768u);
    EXPECT_EQ(C.Reads[0].Got, 32768u);
    EXPECT_EQ(C.Reads[1].Got, 0u);
    // The second read asks for everything behind the lookahead.
    EXPECT_EQ(C.Reads[1].Buffer, C.Reads[0].Buffer + 32768);
    EXPECT_EQ(C.Reads[1].Asked, 32768u);
}

TEST(DeflateFile, HandsOverPiecesOfAtMost1024BytesAndCountsThemExactly) {
    for (int Level : {1, 6, 9}) {
        const std::string In = test::MakeText(200000) + test::MakeBinary(100000);
        const auto C = Compress(In, Level);
        uint64_t Sum = 0;
        for (uint32_t W : C.Writes) {
            EXPECT_LE(W, 1024u);
            Sum += W;
        }
        EXPECT_EQ(Sum, C.Output.size());
        EXPECT_EQ(C.Result.CompressedSize, C.Output.size());
    }
}

TEST(DeflateFile, ExceptionsFromTheRoutinesPassThrough) {
    struct TFailingIO : test::TMemoryDeflateIO {
        using TMemoryDeflateIO::TMemoryDeflateIO;
        int WritesLeft = 3;
        void WriteOutput(const uint8_t* Buffer, uint32_t Count) override {
            if (WritesLeft-- == 0) throw std::range_error("disk full");
            TMemoryDeflateIO::WriteOutput(Buffer, Count);
        }
    };
    TDeflateBuffers Buffers;
    TDeflateStaticTables Tables;
    TFailingIO IO(test::MakeText(100000));
    TDeflateEntryBits Entry;
    EXPECT_THROW(DeflateFile(6, Buffers, Tables, IO, Entry), std::range_error);

    // The buffers stay usable for the next file.
    const std::string Next = test::MakeBinary(70000);
    const auto C = Compress(Next, 6, Buffers, Tables);
    EXPECT_EQ(test::ExtractEntry(C, Next.size()), Next);
}

// 100 text literals and B binary literals in the first block, no matches (all bytes distinct).
std::string Classified(int Binary) {
    std::string S;
    for (int I = 0; I < 100; ++I) S += static_cast<char>(20 + I);
    for (int I = 0; I < Binary; ++I) S += static_cast<char>(128 + I);
    return S;
}

TEST(DeflateFile, ClassifiesTheFirstBlockAsTextOrBinary) {
    EXPECT_EQ(Compress(Classified(25), 6).Entry.InternalAttributes, 1);
    EXPECT_EQ(Compress(Classified(26), 6).Entry.InternalAttributes, 0);
    // Bytes 0..6 count as binary, 7 (bell) .. 127 as text.
    EXPECT_EQ(Compress(std::string("\x06", 1), 6).Entry.InternalAttributes, 0);
    EXPECT_EQ(Compress(std::string("\x07", 1), 6).Entry.InternalAttributes, 1);
    EXPECT_EQ(Compress(test::MakeText(100000), 6).Entry.InternalAttributes, 1);
    EXPECT_EQ(Compress(test::MakeBinary(100000), 6).Entry.InternalAttributes, 0);

    // Only the first block decides. At level 1 a block without matches ends at 32,767 symbols,
    // all of them text here; the random bytes after it do not change the verdict.
    const std::string Mixed = test::MakeDeBruijn3(40, '0') + test::MakeRandom(100000);
    const auto C = Compress(Mixed, 1);
    EXPECT_GT(DecodeDeflate(C.Output).Blocks.size(), 1u);
    EXPECT_EQ(C.Entry.InternalAttributes, 1);

    // A value other than 2 is left alone.
    TDeflateBuffers Buffers;
    TDeflateStaticTables Tables;
    test::TMemoryDeflateIO IO(test::MakeBinary(1000));
    TDeflateEntryBits Entry;
    Entry.InternalAttributes = 1;
    DeflateFile(6, Buffers, Tables, IO, Entry);
    EXPECT_EQ(Entry.InternalAttributes, 1);
}

TEST(DeflateFile, BlockWithoutMatchesSendsTwoOneBitDistanceCodes) {
    // Every 3-byte string occurs once, so there is no match; sixteen letters code in 4 bits,
    // which beats both the fixed codes and a stored block.
    const std::string In = test::MakeDeBruijn3(16);
    const auto C = Compress(In, 6);
    const auto D = DecodeDeflate(C.Output);
    ASSERT_EQ(D.Blocks.size(), 1u);
    EXPECT_EQ(D.Blocks[0].Type, 2);
    EXPECT_EQ(D.Blocks[0].DistanceLengths, (std::vector<uint8_t>{1, 1}));
    for (const auto& T : D.Tokens) EXPECT_FALSE(T.IsMatch());
    EXPECT_EQ(D.Bytes, In);
}

}  // namespace
}  // namespace qm
