// The bit writer: packs codes least significant bit first, as deflate requires, and hands the
// bytes to the writer's output routine in pieces of 1,024 bytes (and the remainder whenever the
// stream is byte-aligned).
//
// The bits are gathered in a 64-bit buffer, and every put stores the whole buffer and keeps only
// the bits of the last, unfinished byte: no branch on how full the buffer is, which the coding
// loop could not predict. The byte stream is the same as packing the bits one byte at a time,
// because a bit stream written least significant bit first does not depend on the width of the
// buffer that gathers it.
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

    // Appends the low N bits of Value. Precondition: N <= kMaxPutBits and Value < 2^N.
    void PutBits(uint64_t Value, uint32_t N) {
        QM_ASSERT(N <= kMaxPutBits && Value >> N == 0 && FCount < 8);
        FBits |= Value << FCount;
        FCount += N;
        // Whole bytes go to the buffer; the 8-byte store may reach past them, into room the
        // buffer keeps for that, and the next store overwrites what it left there.
        std::memcpy(FBuffer + FFill, &FBits, 8);  // little-endian targets only
        const uint32_t bytes = FCount >> 3;
        FFill += bytes;
        FBits >>= 8 * bytes;  // at most 56: FCount stays below 64
        FCount &= 7;
        if (FFill >= kOutputPiece) [[unlikely]]
            HandOverPiece();
    }

    // The widest put: a length code and its extra bits together with a distance code and its.
    static constexpr uint32_t kMaxPutBits = 56;

    // Puts Next(0) to Next(Count - 1), each a pair {value, bit count} as PutBits takes them, with
    // the writer's state in locals: stores into the buffer could otherwise alias it, and a put per
    // symbol would load and store it each time.
    template <typename TNext>
    void PutEach(uint32_t Count, TNext Next) {
        uint64_t bits = FBits;
        uint32_t count = FCount;
        uint32_t fill = FFill;
        uint8_t* const buffer = FBuffer;
        for (uint32_t i = 0; i < Count; ++i) {
            const auto [value, n] = Next(i);
            QM_ASSERT(n <= kMaxPutBits && value >> n == 0);
            bits |= value << count;
            count += n;
            std::memcpy(buffer + fill, &bits, 8);
            const uint32_t bytes = count >> 3;
            fill += bytes;
            bits >>= 8 * bytes;
            count &= 7;
            if (fill >= kOutputPiece) [[unlikely]] {
                FFill = fill;
                HandOverPiece();
                fill = FFill;
            }
        }
        FBits = bits;
        FCount = count;
        FFill = fill;
    }

    // Pads the stream with zero bits to a byte boundary and hands over everything pending.
    void AlignToByte();
    // Aligns, then writes Length raw bytes, preceded by Length and its complement when Header.
    void CopyRawBlock(const uint8_t* Input, uint32_t Length, bool Header);

  private:
    void HandOverPiece();
    void HandOverAll();

    TDeflateIO& FIO;
    uint64_t FBits = 0;
    uint32_t FCount = 0;  // valid bits in FBits, below 8 between calls
    uint32_t FFill = 0;   // bytes in FBuffer, below kOutputPiece between calls
    // A put stores eight bytes from FFill (below kOutputPiece), and advances FFill by up to seven.
    uint8_t FBuffer[kOutputPiece + 8];
};

static_assert(std::endian::native == std::endian::little,
              "the bit writer stores little-endian words");

}  // namespace qm::detail
