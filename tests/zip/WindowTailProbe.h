// Files whose compressed bytes depend on the last window byte left by the file before them.
#pragma once

#include <cstdint>
#include <string>

#include "WriterFixture.h"

namespace qm::test {

// Noise of Length bytes (65,286 to 65,535 to show the dependency) ending in an 8-byte marker,
// which also occurs twice earlier: once followed by the zeros that lie between the data's end
// and the window's last byte and then by Tail, once by the same zeros and then by Other. A
// search from the final marker compares past the data into those zeros and that last byte, so
// which of the two it takes (and so the match distance) depends on the byte inherited there:
// the older one only when that byte is Tail. Shows at levels whose nice length is above the
// compared stretch (level 9 throughout that range).
inline std::string WindowTailProbe(size_t Length, uint8_t Tail, uint8_t Other, uint32_t Seed) {
    static const std::string kMarker = "\xF1qmTAIL\xF2";
    // Noise of 64 values: it compresses (so its blocks are coded, not stored) and never
    // matches into the marker.
    std::string data = NoiseBytes(Length, Seed);
    for (char& c : data) c = static_cast<char>(c & 0x3F);
    const size_t zeros = Length < 65535 ? 65535 - Length : 0;
    auto place = [&](size_t At, uint8_t Last) {
        const std::string piece = kMarker + std::string(zeros, '\0') + static_cast<char>(Last);
        data.replace(At, piece.size(), piece);
    };
    place(Length - 6000, Tail);
    place(Length - 3000, Other);
    data.replace(Length - kMarker.size(), kMarker.size(), kMarker);
    return data;
}

// A file of exactly one window (65,536 bytes) ending in Tail: it leaves Tail as the last window
// byte for the file after it.
inline std::string WindowTailSetter(uint8_t Tail, uint32_t Seed) {
    std::string data = TextBytes(65536 - 1000) + NoiseBytes(1000, Seed);
    data.back() = static_cast<char>(Tail);
    return data;
}

}  // namespace qm::test
