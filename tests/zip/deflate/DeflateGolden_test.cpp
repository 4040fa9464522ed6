// Pinned output of the compressor: size and CRC-32 of the streams for fixed inputs at every level.
// The output is defined bit for bit by the compressor's rules; these pins were taken from the
// plain implementation (checked against hand-worked streams, the rule properties and an
// independent inflater) and keep every later speed-up from changing a single output bit. The
// buffers are reused from level to level, as the writer reuses them from file to file, so the
// bytes a file leaves at the top of the window are part of what is pinned.
#include <gtest/gtest.h>
#include <zlib.h>

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

}  // namespace
}  // namespace qm
