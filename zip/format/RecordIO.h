// Record I/O for the ZIP records: little-endian field access, the limits of the 16- and 32-bit
// fields, and exact reads. Records are built and parsed in byte arrays at fixed offsets rather
// than by copying structs (no padding or host byte order can leak in). Every record reader and
// writer of the engine uses these, so that a field is spelled one way only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Stream.h"

namespace qm::detail {

// The largest values of the 16- and 32-bit fields. In a size, offset, count or disk number
// they also mean "the value is in the Zip64 record".
inline constexpr uint16_t kMax16 = 0xFFFF;
inline constexpr uint32_t kMax32 = 0xFFFFFFFFu;

// Value as a 16- or 32-bit field holds it: itself, or the maximum when it does not fit.
constexpr uint16_t Saturate16(uint64_t Value) {
    return Value >= kMax16 ? kMax16 : static_cast<uint16_t>(Value);
}
constexpr uint32_t Saturate32(uint64_t Value) {
    return Value >= kMax32 ? kMax32 : static_cast<uint32_t>(Value);
}

inline void Put16(unsigned char* At, uint16_t Value) {
    At[0] = static_cast<unsigned char>(Value);
    At[1] = static_cast<unsigned char>(Value >> 8);
}

inline void Put32(unsigned char* At, uint32_t Value) {
    Put16(At, static_cast<uint16_t>(Value));
    Put16(At + 2, static_cast<uint16_t>(Value >> 16));
}

inline void Put64(unsigned char* At, uint64_t Value) {
    Put32(At, static_cast<uint32_t>(Value));
    Put32(At + 4, static_cast<uint32_t>(Value >> 32));
}

inline uint16_t Get16(const unsigned char* At) {
    return static_cast<uint16_t>(At[0] | (At[1] << 8));
}

inline uint32_t Get32(const unsigned char* At) {
    return static_cast<uint32_t>(Get16(At)) | (static_cast<uint32_t>(Get16(At + 2)) << 16);
}

inline uint64_t Get64(const unsigned char* At) {
    return static_cast<uint64_t>(Get32(At)) | (static_cast<uint64_t>(Get32(At + 4)) << 32);
}

// Reads Count bytes; false on a short read (an empty read always succeeds).
inline bool ReadExactly(TStream& Stream, void* Buffer, int32_t Count) {
    return Count == 0 || Stream.Read(Buffer, Count) == Count;
}

}  // namespace qm::detail
