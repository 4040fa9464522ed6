// The bit writer: packs codes least significant bit first, as deflate requires, and hands the
// bytes to the writer's output routine in pieces of 1,024 bytes (and the remainder whenever the
// stream is byte-aligned).
//
// The bits are gathered in a 64-bit buffer and stored eight bytes at a time; the byte stream is
// the same as packing them one byte at a time, because a bit stream written least significant bit
// first does not depend on the width of the buffer that gathers it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/Assert.h"
#include "zip/deflate/DeflateIO.h"

namespace qm::detail {

inline constexpr uint32_t kOutputPiece = 1024;

class TBitWriter {
  public:
    explicit TBitWriter(TDeflateIO& IO) : FIO(IO) {}

    // Appends the low N bits of Value. Precondition: N <= 32 and Value < 2^N.
    void PutBits(uint64_t Value, uint32_t N) {
        QM_ASSERT(N <= 32 && Value >> N == 0 && FCount < 32);
        FBits |= Value << FCount;
        FCount += N;
        if (FCount >= 32) [[unlikely]]
            Spill();
    }

    // Pads the stream with zero bits to a byte boundary and hands over everything pending.
    void AlignToByte();
    // Aligns, then writes Length raw bytes, preceded by Length and its complement when Header.
    void CopyRawBlock(const uint8_t* Input, uint32_t Length, bool Header);

  private:
    void Spill() {
        uint32_t word = static_cast<uint32_t>(FBits);
        std::memcpy(FBuffer + FFill, &word, 4);  // little-endian targets only
        FFill += 4;
        FBits >>= 32;
        FCount -= 32;
        if (FFill >= kOutputPiece) [[unlikely]]
            HandOverPiece();
    }
    void HandOverPiece();
    void HandOverAll();

    TDeflateIO& FIO;
    uint64_t FBits = 0;
    uint32_t FCount = 0;  // valid bits in FBits, below 32 between calls
    uint32_t FFill = 0;   // bytes in FBuffer, below kOutputPiece between calls
    uint8_t FBuffer[kOutputPiece + 8];
};

static_assert(std::endian::native == std::endian::little,
              "the bit writer stores little-endian words");

}  // namespace qm::detail
