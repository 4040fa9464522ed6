// The code tables every deflate block shares: the fixed literal/length and distance codes and the
// maps from match length and distance to their codes. The archive writer keeps one set for its
// whole life; DeflateFile builds it on the first compressed file and only reads it afterwards.
#pragma once

#include <cstdint>

namespace qm {

// One Huffman code: the bits stored reversed (ready to be written least significant bit first)
// and its length.
struct TDeflateCode {
    uint16_t Code = 0;
    uint16_t Length = 0;
};

class TDeflateStaticTables {
  public:
    bool Built() const { return FBuilt; }
    // Fills every table; harmless when they already exist.
    void BuildStaticTables();

    TDeflateCode FixedLiteralCodes[288];
    TDeflateCode FixedDistanceCodes[30];
    uint8_t LengthCode[256];    // match length - 3 -> length code 0..28
    uint8_t BaseLength[29];     // first (match length - 3) of each length code
    uint8_t DistanceCode[512];  // see DistanceCodeOf
    uint16_t BaseDistance[30];  // first (distance - 1) of each distance code

    // The distance code of Distance - 1 (0..32767).
    uint8_t DistanceCodeOf(uint32_t DistanceMinus1) const {
        return DistanceMinus1 < 256 ? DistanceCode[DistanceMinus1]
                                    : DistanceCode[256 + (DistanceMinus1 >> 7)];
    }

  private:
    bool FBuilt = false;
};

}  // namespace qm
