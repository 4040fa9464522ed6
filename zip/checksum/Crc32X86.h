// The CRC-32 methods behind Crc32Update's choice. The folding variants need the processor's
// carry-less multiplication; where it is missing (or off x86) they run slicing by eight, so
// that calling one is always safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::detail {

// Eight tables, eight bytes per step; also the tail of every folding variant. In Crc32.cpp.
uint32_t Crc32UpdateSlicing8(uint32_t Crc, const unsigned char* P, size_t N);

// Folding 128-bit lanes with PCLMULQDQ, four at a time.
uint32_t Crc32UpdateClmul(uint32_t Crc, const unsigned char* P, size_t N);
bool Crc32ClmulSupported();

// Folding 512-bit registers with VPCLMULQDQ (AVX-512), sixteen lanes at a time.
uint32_t Crc32UpdateClmul512(uint32_t Crc, const unsigned char* P, size_t N);
bool Crc32Clmul512Supported();

}  // namespace qm::detail
