// CRC-32 of the ZIP format: reflected polynomial 0xEDB88320. The functions work on the CRC
// register: start it at 0xFFFFFFFF, feed every byte in order, and complement it at the end
// (Crc32Of does all three).
//
// Crc32Update picks the fastest method the processor supports when first used: carry-less
// multiplication folding (VPCLMULQDQ on 512-bit registers, else PCLMULQDQ) where available,
// else slicing by eight tables. Every
// method yields the same register as the one-table step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// Entry n is the register after shifting byte n through eight rounds of the polynomial.
extern const uint32_t Crc32Table[256];

inline uint32_t Crc32Step(uint32_t Crc, uint8_t B) {
    return Crc32Table[(Crc ^ B) & 0xFF] ^ (Crc >> 8);
}

// The block form: Count is at most 65,535 bytes.
uint32_t Crc32Block(uint32_t Crc, const void* Buffer, uint16_t Count);
// Any length, fastest method.
uint32_t Crc32Update(uint32_t Crc, const void* Buffer, size_t Count);
// The finished CRC-32 of a whole buffer (0 for an empty one).
uint32_t Crc32Of(const void* Buffer, size_t Count);

// Table: one table step per byte. Slicing8: eight tables, eight bytes per step. Clmul: folding
// 128-bit lanes with PCLMULQDQ. Clmul512: folding 512-bit registers with VPCLMULQDQ (AVX-512).
enum class TCrc32Method { Table, Slicing8, Clmul, Clmul512 };
// True when the processor can run Method (Table and Slicing8 always).
bool Crc32MethodAvailable(TCrc32Method Method);
// The method Crc32Update uses.
TCrc32Method Crc32ActiveMethod();
// Runs one method explicitly; for tests and benchmarks. Method must be available.
uint32_t Crc32UpdateWith(TCrc32Method Method, uint32_t Crc, const void* Buffer, size_t Count);

}  // namespace qm
