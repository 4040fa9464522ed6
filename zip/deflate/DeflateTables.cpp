#include "zip/deflate/DeflateTables.h"

#include "zip/deflate/internal/DeflateConstants.h"

namespace qm {

using namespace detail;

void TDeflateStaticTables::BuildStaticTables() {
    // Length codes 0..27 cover consecutive runs of match lengths; the last length (258) gets code
    // 28 of its own, overwriting the end of code 27's run.
    uint32_t length = 0;
    for (int code = 0; code < kLengthCodes - 1; ++code) {
        BaseLength[code] = static_cast<uint8_t>(length);
        for (uint32_t n = 0; n < (1u << kLengthExtraBits[code]); ++n)
            LengthCode[length++] = static_cast<uint8_t>(code);
    }
    BaseLength[kLengthCodes - 1] = 0;
    LengthCode[length - 1] = static_cast<uint8_t>(kLengthCodes - 1);

    // Distances below 256 map one to one; longer ones in units of 128.
    uint32_t distance = 0;
    int code = 0;
    for (; code < 16; ++code) {
        BaseDistance[code] = static_cast<uint16_t>(distance);
        for (uint32_t n = 0; n < (1u << kDistanceExtraBits[code]); ++n)
            DistanceCode[distance++] = static_cast<uint8_t>(code);
    }
    distance >>= 7;
    for (; code < kDistanceSymbols; ++code) {
        BaseDistance[code] = static_cast<uint16_t>(distance << 7);
        for (uint32_t n = 0; n < (1u << (kDistanceExtraBits[code] - 7)); ++n)
            DistanceCode[256 + distance++] = static_cast<uint8_t>(code);
    }

    uint16_t lengthCount[kMaxBits + 1] = {};
    for (int n = 0; n < 288; ++n) {
        const uint16_t bits = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
        FixedLiteralCodes[n].Length = bits;
        ++lengthCount[bits];
    }
    uint32_t nextCode[kMaxBits + 1] = {};
    uint32_t next = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        next = (next + lengthCount[bits - 1]) << 1;
        nextCode[bits] = next;
    }
    for (int n = 0; n < 288; ++n) {
        const int bits = FixedLiteralCodes[n].Length;
        FixedLiteralCodes[n].Code = static_cast<uint16_t>(ReverseBits(nextCode[bits]++, bits));
    }
    for (int n = 0; n < kDistanceSymbols; ++n) {
        FixedDistanceCodes[n].Length = 5;
        FixedDistanceCodes[n].Code = static_cast<uint16_t>(ReverseBits(n, 5));
    }
    FBuilt = true;
}

}  // namespace qm
