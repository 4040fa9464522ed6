// Match extension, the innermost loop of the search.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/Assert.h"
#include "zip/deflate/DeflateBuffers.h"
#include "zip/deflate/internal/DeflateConstants.h"

namespace qm::detail {

// The widest single compare of the match search: one 8-byte load.
inline constexpr uint32_t kCompareWidth = 8;
// The furthest byte MatchLength reads, counted from the string's start: its words cover offsets
// kMinMatch on, as many as it takes to cover kMaxMatch - kMinMatch bytes.
inline constexpr uint32_t kFurthestCompareOffset =
    kMinMatch + (kMaxMatch - kMinMatch + kCompareWidth - 1) / kCompareWidth * kCompareWidth - 1;
static_assert(kFurthestCompareOffset == kMaxMatch, "the last word ends one byte past the match");
static_assert(kDeflateWindowSlack >= kFurthestCompareOffset + kCompareWidth,
              "a string at the last valid byte may be compared in full, with a word to spare");
static_assert((kDeflateWindowSize + kDeflateWindowSlack) % 64 == 0,
              "window and slack fill whole cache lines");

inline uint16_t Load16(const uint8_t* P) {
    uint16_t v;
    std::memcpy(&v, P, 2);
    return v;
}

inline uint64_t Load64(const uint8_t* P) {
    uint64_t v;
    std::memcpy(&v, P, 8);
    return v;
}

// The length of the match between the strings at Scan and Match, whose first three bytes are
// known to agree (bytes 0 and 1 by comparison, byte 2 through the hash): 3 plus the number of
// equal bytes from offset 3 on, at most 258 in all. It compares eight bytes at a time and so may
// read up to offset kFurthestCompareOffset of both strings; the window's slack covers that. Bytes
// past the valid input count like any others; the callers clamp the result to the lookahead.
// Match is the older string.
inline uint32_t MatchLength(const uint8_t* Scan, const uint8_t* Match) {
    QM_ASSERT(Match < Scan);
    constexpr uint32_t kTail = kMaxMatch - kMinMatch;  // 255 bytes from offset 3
    Scan += kMinMatch;
    Match += kMinMatch;
    for (uint32_t i = 0; i < kTail; i += 8) {
        const uint64_t diff = Load64(Scan + i) ^ Load64(Match + i);
        if (diff != 0) {
            const uint32_t equal = i + (static_cast<uint32_t>(std::countr_zero(diff)) >> 3);
            return kMinMatch + (equal < kTail ? equal : kTail);
        }
    }
    return kMaxMatch;
}

}  // namespace qm::detail
