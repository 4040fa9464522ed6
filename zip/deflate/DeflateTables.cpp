#include "zip/deflate/DeflateTables.h"

#include "zip/deflate/internal/DeflateConstants.h"

namespace qm {

using namespace detail;

void TDeflateStaticTables::BuildStaticTables() {
    // Length codes 0..27 cover consecutive runs of match lengths; the last length (258) gets code
    // 28 of its own, overwriting the end of code 27's run.
    uint32_t Length = 0;
    for (int Code = 0; Code < kLengthCodes - 1; ++Code) {
        BaseLength[Code] = static_cast<uint8_t>(Length);
        for (uint32_t N = 0; N < (1u << kLengthExtraBits[Code]); ++N)
            LengthCode[Length++] = static_cast<uint8_t>(Code);
    }
    BaseLength[kLengthCodes - 1] = 0;
    LengthCode[Length - 1] = static_cast<uint8_t>(kLengthCodes - 1);

    // Distances below 256 map one to one; longer ones in units of 128.
    uint32_t Distance = 0;
    int Code = 0;
    for (; Code < 16; ++Code) {
        BaseDistance[Code] = static_cast<uint16_t>(Distance);
        for (uint32_t N = 0; N < (1u << kDistanceExtraBits[Code]); ++N)
            DistanceCode[Distance++] = static_cast<uint8_t>(Code);
    }
    Distance >>= 7;
    for (; Code < kDistanceSymbols; ++Code) {
        BaseDistance[Code] = static_cast<uint16_t>(Distance << 7);
        for (uint32_t N = 0; N < (1u << (kDistanceExtraBits[Code] - 7)); ++N)
            DistanceCode[256 + Distance++] = static_cast<uint8_t>(Code);
    }

    uint16_t LengthCount[kMaxBits + 1] = {};
    for (int N = 0; N < 288; ++N) {
        const uint16_t Bits = N < 144 ? 8 : N < 256 ? 9 : N < 280 ? 7 : 8;
        FixedLiteralCodes[N].Length = Bits;
        ++LengthCount[Bits];
    }
    uint32_t NextCode[kMaxBits + 1] = {};
    uint32_t Next = 0;
    for (int Bits = 1; Bits <= kMaxBits; ++Bits) {
        Next = (Next + LengthCount[Bits - 1]) << 1;
        NextCode[Bits] = Next;
    }
    for (int N = 0; N < 288; ++N) {
        const int Bits = FixedLiteralCodes[N].Length;
        FixedLiteralCodes[N].Code = static_cast<uint16_t>(ReverseBits(NextCode[Bits]++, Bits));
    }
    for (int N = 0; N < kDistanceSymbols; ++N) {
        FixedDistanceCodes[N].Length = 5;
        FixedDistanceCodes[N].Code = static_cast<uint16_t>(ReverseBits(N, 5));
    }
    FBuilt = true;
}

}  // namespace qm
