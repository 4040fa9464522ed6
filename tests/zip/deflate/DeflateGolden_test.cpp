// Pinned output of the compressor: size and CRC-32 of the streams for fixed inputs at every level.
// The output is defined bit for bit by the compressor's rules; these pins were taken from the
// plain implementation (checked against hand-worked streams, the rule properties and an
// independent inflater) and keep every later speed-up from changing a single output bit. The
// buffers are reused from level to level, as the writer reuses them from file to file, so the
// bytes a file leaves at the top of the window are part of what is pinned.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "tests/zip/deflate/DeflateTestUtil.h"

namespace qm {
namespace {

struct TPin {
    size_t Size;
    uint32_t Crc;
};

struct TGolden {
    const char* Name;
    TPin Pins[9];
};

const TGolden kGolden[] = {
    {"text",
     {{84400, 0xCCCE7C26},
      {82055, 0x4F8246F7},
      {75028, 0x28F9B593},
      {74141, 0x8D737F9F},
      {69191, 0x80CAC376},
      {62144, 0xD4CFC5F6},
      {61459, 0x88A624A0},
      {61238, 0x04315E98},
      {61238, 0x04315E98}}},
    {"binary",
     {{153416, 0x8CEB577E},
      {153355, 0x206D67F1},
      {153801, 0x0D4F262B},
      {153747, 0x0B732D41},
      {153622, 0x753978FE},
      {152805, 0x35DBC392},
      {152039, 0xE09D0781},
      {150913, 0x0068848D},
      {150200, 0x3E18FE24}}},
    {"mixed",
     {{210439, 0x3E4ADAC8},
      {209552, 0x3F6C6E44},
      {205877, 0x68A1AF09},
      {204685, 0x33501E09},
      {203047, 0xE3C62450},
      {200089, 0x4D4DDF03},
      {199608, 0x977B0F66},
      {199033, 0x5577210E},
      {198699, 0x64A83B24}}},
};

TEST(DeflateGolden, OutputIsPinnedBitForBit) {
    const std::string Inputs[] = {test::MakeText(300000, 21), test::MakeBinary(300000, 22),
                                  test::MakeText(100000, 23) + test::MakeRandom(100000, 24) +
                                      std::string(50000, 'x') + test::MakeBinary(150000, 25)};
    for (int I = 0; I < 3; ++I) {
        TDeflateBuffers Buffers;
        TDeflateStaticTables Tables;
        for (int Level = 1; Level <= 9; ++Level) {
            SCOPED_TRACE(std::string(kGolden[I].Name) + ", level " + std::to_string(Level));
            const auto C = test::Compress(Inputs[I], Level, Buffers, Tables);
            const uint32_t Crc =
                static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(C.Output.data()),
                                            static_cast<uInt>(C.Output.size())));
            EXPECT_EQ(C.Output.size(), kGolden[I].Pins[Level - 1].Size);
            EXPECT_EQ(Crc, kGolden[I].Pins[Level - 1].Crc);
        }
    }
}

// Long hash chains that run into the search limit: blocks repeated at periods around the
// farthest distance searched (so the first candidate or one a step further lies right at the
// limit), a half window apart, and stretches of a four-letter alphabet whose chains outlast
// every budget.
std::string LongChainsAtTheLimit() {
    std::mt19937 R(31);
    std::string S;
    for (uint32_t Period : {32505u, 32506u, 32507u, 32768u, 16253u}) {
        std::string Block(Period, '\0');
        for (char& C : Block) C = static_cast<char>(R() % 8 + 'a');
        for (int Copy = 0; Copy < 2; ++Copy) {
            std::string Changed = Block;
            for (int N = 0; N < 40; ++N) Changed[R() % Period] = static_cast<char>(R());
            S += Changed;
        }
    }
    for (int N = 0; N < 120000; ++N) S += "acgt"[R() % 4];
    return S;
}

// The search stops where a chain runs past the farthest distance or out of budget, at whichever
// step that happens; these inputs make it happen at every step and right at the limit. Pinned from
// the search that follows one link at a time.
TEST(DeflateGolden, LongChainsAtTheSearchLimitArePinned) {
    const TPin Pins[9] = {{176202, 0x348CE676}, {173065, 0xD924556D}, {159496, 0x025FE6BB},
                          {167208, 0x65DFD20F}, {160057, 0x6D41D201}, {144391, 0xBA52C8EF},
                          {144227, 0x4B379EA1}, {143831, 0xB56090ED}, {143831, 0xB56090ED}};
    const std::string Input = LongChainsAtTheLimit();
    TDeflateBuffers Buffers;
    TDeflateStaticTables Tables;
    for (int Level = 1; Level <= 9; ++Level) {
        SCOPED_TRACE("level " + std::to_string(Level));
        const auto C = test::Compress(Input, Level, Buffers, Tables);
        EXPECT_EQ(test::ExtractEntry(C, Input.size()), Input);
        const uint32_t Crc =
            static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(C.Output.data()),
                                        static_cast<uInt>(C.Output.size())));
        EXPECT_EQ(C.Output.size(), Pins[Level - 1].Size);
        EXPECT_EQ(Crc, Pins[Level - 1].Crc);
    }
}

}  // namespace
}  // namespace qm
