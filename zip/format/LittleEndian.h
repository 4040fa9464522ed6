// Little-endian field access for the ZIP records, which are built and parsed in byte arrays at
// fixed offsets rather than by copying structs (no padding or host byte order can leak in).
#pragma once

#include <cstdint>

namespace qm::detail {

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

}  // namespace qm::detail
