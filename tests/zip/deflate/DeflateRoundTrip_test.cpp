// Every stream the compressor writes must inflate, with an independent inflater, to its input:
// across all levels, on inputs of every kind, across window slides, and with the work buffers
// reused from file to file as the writer reuses them.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/zip/deflate/DeflateTestUtil.h"

namespace qm {
namespace {

using test::Compress;

struct TNamedInput {
    const char* Name;
    std::string Bytes;
};

std::vector<TNamedInput> Inputs() {
    std::string Run(100000, 'x');
    std::string Mixed = test::MakeText(150000) + test::MakeRandom(90000) +
                        test::MakeBinary(150000) + std::string(70000, '\0') +
                        test::MakeText(60000, 9);
    return {
        {"empty", ""},
        {"one byte", "q"},
        {"two bytes", "qq"},
        {"four bytes", "abab"},
        {"tiny text", "hello, hello, hello world"},
        {"text", test::MakeText(200000)},
        {"binary", test::MakeBinary(200000)},
        {"repetitive", Run},
        {"period 3",
         [] {
             std::string S;
             while (S.size() < 50000) S += "abc";
             return S;
         }()},
        {"incompressible", test::MakeRandom(150000)},
        {"exactly half a window", test::MakeText(32768, 4)},
        {"half a window and one", test::MakeText(32769, 5)},
        {"a whole window", test::MakeBinary(65536, 6)},
        {"mixed, many slides", Mixed},
    };
}

TEST(DeflateRoundTrip, EveryLevelEveryInput) {
    for (const auto& In : Inputs()) {
        for (int Level = 1; Level <= 9; ++Level) {
            SCOPED_TRACE(std::string(In.Name) + ", level " + std::to_string(Level));
            const auto C = Compress(In.Bytes, Level);
            EXPECT_EQ(C.Result.CompressedSize, C.Output.size());
            EXPECT_EQ(C.Result.WrittenRaw, C.Entry.Method == 0);
            const std::string Out = test::ExtractEntry(C, In.Bytes.size());
            EXPECT_TRUE(Out == In.Bytes);
            if (C.Entry.Method == 8) {
                // The independent decoder agrees and the stream ends exactly where it says.
                const auto D = test::DecodeDeflate(C.Output);
                EXPECT_TRUE(D.Bytes == In.Bytes);
                EXPECT_EQ(D.StreamBytes, C.Output.size());
            }
        }
    }
}

TEST(DeflateRoundTrip, BuffersAndTablesReusedAcrossFiles) {
    TDeflateBuffers Buffers;
    TDeflateStaticTables Tables;
    const auto All = Inputs();
    for (int Pass = 0; Pass < 2; ++Pass) {
        for (const auto& In : All) {
            const int Level = Pass == 0 ? 6 : 2;
            SCOPED_TRACE(In.Name);
            const auto C = Compress(In.Bytes, Level, Buffers, Tables);
            EXPECT_TRUE(test::ExtractEntry(C, In.Bytes.size()) == In.Bytes);
        }
    }
}

// Streams the input through the compressor and zlib without holding either side whole.
class TStreamingIO : public TDeflateIO {
  public:
    TStreamingIO(uint64_t Size) : FSize(Size) {
        inflateInit2(&FZ, -15);
        FIn = test::MakeText(1 << 20, 7) + test::MakeBinary(1 << 20, 8) + test::MakeRandom(1 << 18);
    }
    ~TStreamingIO() override { inflateEnd(&FZ); }

    uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) override {
        const uint32_t N = static_cast<uint32_t>(std::min<uint64_t>(Count, FSize - FRead));
        for (uint32_t I = 0; I < N; ++I) Buffer[I] = Source(FRead + I);
        FCrcIn = crc32(FCrcIn, Buffer, N);
        FRead += N;
        return N;
    }
    void WriteOutput(const uint8_t* Buffer, uint32_t Count) override {
        FWritten += Count;
        FZ.next_in = const_cast<Bytef*>(Buffer);
        FZ.avail_in = Count;
        while (FZ.avail_in != 0 && FRc == Z_OK) {
            uint8_t Out[65536];
            FZ.next_out = Out;
            FZ.avail_out = sizeof Out;
            FRc = inflate(&FZ, Z_NO_FLUSH);
            const uint32_t Got = static_cast<uint32_t>(sizeof Out - FZ.avail_out);
            FCrcOut = crc32(FCrcOut, Out, Got);
            FOut += Got;
        }
    }
    // A long file made of the source pieces at varying offsets, so it never repeats exactly.
    uint8_t Source(uint64_t I) const {
        const uint64_t Chunk = I / 300007;
        return static_cast<uint8_t>(FIn[(I + Chunk * 7919) % FIn.size()]);
    }

    z_stream FZ{};
    std::string FIn;
    uint64_t FSize;
    uint64_t FRead = 0, FWritten = 0, FOut = 0;
    uLong FCrcIn = crc32(0, nullptr, 0), FCrcOut = crc32(0, nullptr, 0);
    int FRc = Z_OK;
};

void StreamRoundTrip(uint64_t Size, int Level) {
    TDeflateBuffers Buffers;
    TDeflateStaticTables Tables;
    TStreamingIO IO(Size);
    TDeflateEntryBits Entry;
    const auto R = DeflateFile(Level, Buffers, Tables, IO, Entry);
    EXPECT_EQ(Entry.Method, 8);
    EXPECT_EQ(R.CompressedSize, IO.FWritten);
    EXPECT_EQ(IO.FRc, Z_STREAM_END);
    EXPECT_EQ(IO.FRead, Size);
    EXPECT_EQ(IO.FOut, Size);
    EXPECT_EQ(IO.FCrcOut, IO.FCrcIn);
}

TEST(DeflateRoundTrip, TwoMegabytesAcrossManySlides) {
    for (int Level : {2, 4, 6}) {
        SCOPED_TRACE(Level);
        StreamRoundTrip(2u << 20, Level);
    }
}

// Over 100 MiB: thousands of slides, a compressed size far beyond any 16-bit count.
TEST(DeflateRoundTripLong, OverAHundredMegabytes) {
    for (int Level : {1, 6, 9}) {
        SCOPED_TRACE(Level);
        StreamRoundTrip(101u << 20, Level);
    }
}

}  // namespace
}  // namespace qm
