// Match extension, the innermost loop of the search.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "zip/deflate/internal/DeflateConstants.h"

namespace qm::detail {

inline uint16_t Load16(const uint8_t* P) {
    uint16_t V;
    std::memcpy(&V, P, 2);
    return V;
}

inline uint64_t Load64(const uint8_t* P) {
    uint64_t V;
    std::memcpy(&V, P, 8);
    return V;
}

// The length of the match between the strings at Scan and Match, whose first three bytes are
// known to agree (bytes 0 and 1 by comparison, byte 2 through the hash): 3 plus the number of
// equal bytes from offset 3 on, at most 258 in all. It compares eight bytes at a time and so may
// read up to offset 264 of both strings; the window's slack covers that. Bytes past the valid
// input count like any others; the callers clamp the result to the lookahead.
inline uint32_t MatchLength(const uint8_t* Scan, const uint8_t* Match) {
    constexpr uint32_t kTail = kMaxMatch - kMinMatch;  // 255 bytes from offset 3
    Scan += kMinMatch;
    Match += kMinMatch;
    for (uint32_t I = 0; I < kTail; I += 8) {
        const uint64_t Diff = Load64(Scan + I) ^ Load64(Match + I);
        if (Diff != 0) {
            const uint32_t Equal = I + (static_cast<uint32_t>(std::countr_zero(Diff)) >> 3);
            return kMinMatch + (Equal < kTail ? Equal : kTail);
        }
    }
    return kMaxMatch;
}

}  // namespace qm::detail
