// The constants of the deflate format and of this compressor's choices within it.
#pragma once

#include <bit>
#include <cstdint>

#include "zip/deflate/DeflateBuffers.h"

namespace qm::detail {

inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 258;
inline constexpr uint32_t kHalfWindow = 32768;
inline constexpr uint32_t kWindowMask = kHalfWindow - 1;
// A refill keeps at least this much ahead: the longest match, the hash's look-ahead of two bytes
// beyond a match start, and one byte for the lazy step.
inline constexpr uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;
// Candidates farther back than this are never searched, so that a match found just before a slide
// still lies inside the window.
inline constexpr uint32_t kMaxDistance = kHalfWindow - kMinLookahead;
inline constexpr uint32_t kSlideThreshold = kHalfWindow + kMaxDistance;
inline constexpr uint32_t kHashBits = 15;
inline constexpr uint32_t kHashMask = (1u << kHashBits) - 1;
// Each byte shifts the hash this far, so after kMinMatch bytes the oldest has left it.
inline constexpr uint32_t kHashShift = 5;
// A 3-byte match this far back or more costs more than its literals (lazy levels only).
inline constexpr uint32_t kTooFar = 4096;

inline constexpr int kLiteralCount = 256;
inline constexpr int kEndOfBlock = 256;
inline constexpr int kLengthCodes = 29;
inline constexpr int kLiteralLengthSymbols = kLiteralCount + 1 + kLengthCodes;  // 286
inline constexpr int kDistanceSymbols = 30;
inline constexpr int kBitLengthSymbols = 19;
inline constexpr int kMaxBits = 15;
inline constexpr int kMaxBitLengthBits = 7;
inline constexpr int kHeapSize = 2 * kLiteralLengthSymbols + 1;  // 573

inline constexpr int kRepeatPrevious = 16;  // 3..6 copies of the previous length, 2 extra bits
inline constexpr int kRepeatZeros3 = 17;    // 3..10 zeros, 3 extra bits
inline constexpr int kRepeatZeros11 = 18;   // 11..138 zeros, 7 extra bits

// Symbols per block: one short of the literal buffer, whose last entry is never filled.
inline constexpr uint32_t kMaxBlockSymbols = 32767;
// Blocks may end early (levels 3 and up) only at multiples of this many symbols.
inline constexpr uint32_t kEarlyEndStep = 4096;

inline constexpr uint8_t kLengthExtraBits[kLengthCodes] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr uint8_t kDistanceExtraBits[kDistanceSymbols] = {
    0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr uint8_t kBitLengthExtraBits[kBitLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                   0, 0, 0, 0, 0, 0, 2, 3, 7};
inline constexpr uint8_t kBitLengthOrder[kBitLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

// The block types, sent as the two bits after the last-block bit.
enum class TBlockType : uint32_t { Stored = 0, Fixed = 1, Dynamic = 2 };
inline constexpr uint32_t kBlockHeaderBits = 3;

// The three header bits of a block: the last-block bit, then the type.
constexpr uint32_t BlockHeader(TBlockType Type, bool Last) {
    return (static_cast<uint32_t>(Type) << 1) | (Last ? 1u : 0u);
}

// What the buffers' sizes must satisfy for the loops that index them without checks.
static_assert(kDeflateWindowSize == 2 * kHalfWindow, "the window is two halves");
static_assert(kDeflateHashSize == 1u << kHashBits, "one chain head per hash value");
static_assert(kHashShift * kMinMatch >= kHashBits,
              "the hash depends on the last kMinMatch bytes only");
static_assert(kDeflateChainSize == kWindowMask + 1,
              "one chain link per position modulo the half window");
static_assert(kMaxDistance + kMinLookahead <= kHalfWindow,
              "a match found before a slide still lies in the window after it");
static_assert(kMaxDistance - 1 <= UINT16_MAX, "a distance - 1 fits the 16-bit distance buffer");
static_assert(kMaxBlockSymbols < kDeflateLiteralBufferSize, "the literal buffer holds a block");
static_assert(kDeflateFlagBufferSize * 8 >= kDeflateLiteralBufferSize,
              "one flag bit per symbol of a full block, and the open flag byte");
static_assert(std::has_single_bit(kEarlyEndStep), "the early end test masks the symbol count");

// Reverses the low Length bits of Code.
constexpr uint32_t ReverseBits(uint32_t Code, int Length) {
    uint32_t result = 0;
    for (int i = 0; i < Length; ++i) {
        result = (result << 1) | (Code & 1);
        Code >>= 1;
    }
    return result;
}

}  // namespace qm::detail
