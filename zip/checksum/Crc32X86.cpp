// The folding variants of the CRC-32 update: carry-less multiplication moves 128-bit lanes of
// the message forward over the polynomial, so that whole lanes are combined with a few
// multiplications instead of a table look-up per byte; the last lane is reduced to the 32-bit
// register by a Barrett reduction. The constants come from scripts/gen_crc32_consts.py.
#include "zip/checksum/Crc32X86.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "zip/checksum/Crc32FoldConstants.h"
#define QM_CRC_X86 1
#endif

namespace qm::detail {

#ifdef QM_CRC_X86

namespace {

// Acc folded forward by 128 bits, plus Next.
__attribute__((target("pclmul,sse4.1"), always_inline)) inline __m128i Fold128(__m128i Acc,
                                                                               __m128i Next,
                                                                               __m128i K) {
    __m128i lo = _mm_clmulepi64_si128(Acc, K, 0x00);
    __m128i hi = _mm_clmulepi64_si128(Acc, K, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), Next);
}

// Folds the remaining 16-byte blocks into X, then reduces X to the 32-bit register.
__attribute__((target("pclmul,sse4.1"), always_inline)) inline uint32_t Reduce128(
    __m128i X, const unsigned char* P, size_t N) {
    const __m128i k3k4 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
    const __m128i k5k0 = _mm_set_epi64x(0, kFold64);
    const __m128i poly = _mm_set_epi64x(kBarrettMu, kBarrettPoly);
    __m128i x1 = X, x2;
    while (N >= 16) {
        x1 = Fold128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)), k3k4);
        P += 16;
        N -= 16;
    }

    // 128 bits to 64.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask32);
    x1 = _mm_clmulepi64_si128(x1, k5k0, 0x00);
    x1 = _mm_xor_si128(x1, x2);

    // Barrett reduction to 32 bits.
    x2 = _mm_and_si128(x1, mask32);
    x2 = _mm_clmulepi64_si128(x2, poly, 0x10);
    x2 = _mm_and_si128(x2, mask32);
    x2 = _mm_clmulepi64_si128(x2, poly, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

// Folds four 128-bit lanes at a time over the message with carry-less multiplication, then
// reduces to 32 bits (Barrett). Constants are x^k mod P for the bit-reflected polynomial.
// Needs N >= 64 and N a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldClmul(uint32_t Crc, const unsigned char* P,
                                                            size_t N) {
    const __m128i k1k2 = _mm_set_epi64x(kFold512Hi, kFold512Lo);
    const __m128i k3k4 = _mm_set_epi64x(kFold128Hi, kFold128Lo);

    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x00));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x10));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x20));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x30));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(Crc)));
    P += 64;
    N -= 64;

    while (N >= 64) {
        __m128i x5 = _mm_clmulepi64_si128(x1, k1k2, 0x00);
        __m128i x6 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, k1k2, 0x00);
        __m128i x8 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x00)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x10)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x20)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 0x30)));
        P += 64;
        N -= 64;
    }

    // Four lanes into one.
    x1 = Fold128(x1, x2, k3k4);
    x1 = Fold128(x1, x3, k3k4);
    x1 = Fold128(x1, x4, k3k4);
    return Reduce128(x1, P, N);
}

}  // namespace

uint32_t Crc32UpdateClmul(uint32_t Crc, const unsigned char* P, size_t N) {
    if (N >= 64) {
        size_t bulk = N & ~static_cast<size_t>(15);
        Crc = FoldClmul(Crc, P, bulk);
        P += bulk;
        N -= bulk;
    }
    return Crc32UpdateSlicing8(Crc, P, N);
}

bool Crc32ClmulSupported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

namespace {

// Acc folded forward by the distance K stands for, plus Next, in each 128-bit lane.
__attribute__((target("avx512f,vpclmulqdq"), always_inline)) inline __m512i Fold512(__m512i Acc,
                                                                                    __m512i K,
                                                                                    __m512i Next) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(Acc, K, 0x00),
                                     _mm512_clmulepi64_epi128(Acc, K, 0x11), Next, 0x96);
}

// The same folding sixteen 128-bit lanes (four 512-bit registers, 256 bytes) at a time.
// Needs N >= 256 and N a multiple of 16.
__attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1"))) uint32_t FoldClmul512(
    uint32_t Crc, const unsigned char* P, size_t N) {
    const __m512i k2048 = _mm512_broadcast_i32x4(_mm_set_epi64x(kFold2048Hi, kFold2048Lo));
    const __m512i k512 = _mm512_broadcast_i32x4(_mm_set_epi64x(kFold512Hi, kFold512Lo));
    __m512i x0 = _mm512_loadu_si512(P + 0x00);
    __m512i x1 = _mm512_loadu_si512(P + 0x40);
    __m512i x2 = _mm512_loadu_si512(P + 0x80);
    __m512i x3 = _mm512_loadu_si512(P + 0xC0);
    x0 = _mm512_xor_si512(x0, _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(Crc))));
    P += 256;
    N -= 256;
    while (N >= 256) {
        x0 = Fold512(x0, k2048, _mm512_loadu_si512(P + 0x00));
        x1 = Fold512(x1, k2048, _mm512_loadu_si512(P + 0x40));
        x2 = Fold512(x2, k2048, _mm512_loadu_si512(P + 0x80));
        x3 = Fold512(x3, k2048, _mm512_loadu_si512(P + 0xC0));
        P += 256;
        N -= 256;
    }
    x0 = Fold512(x0, k512, x1);
    x0 = Fold512(x0, k512, x2);
    x0 = Fold512(x0, k512, x3);
    while (N >= 64) {
        x0 = Fold512(x0, k512, _mm512_loadu_si512(P));
        P += 64;
        N -= 64;
    }
    // The four lanes of x0 into one: each folded forward by its distance from the last.
    const __m128i k384 = _mm_set_epi64x(kFold384Hi, kFold384Lo);
    const __m128i k256 = _mm_set_epi64x(kFold256Hi, kFold256Lo);
    const __m128i k128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
    __m128i acc = Fold128(_mm512_extracti32x4_epi32(x0, 0), _mm512_extracti32x4_epi32(x0, 3), k384);
    acc = Fold128(_mm512_extracti32x4_epi32(x0, 1), acc, k256);
    acc = Fold128(_mm512_extracti32x4_epi32(x0, 2), acc, k128);
    return Reduce128(acc, P, N);
}

}  // namespace

uint32_t Crc32UpdateClmul512(uint32_t Crc, const unsigned char* P, size_t N) {
    if (N >= 256) {
        size_t bulk = N & ~static_cast<size_t>(15);
        Crc = FoldClmul512(Crc, P, bulk);
        P += bulk;
        N -= bulk;
    }
    return Crc32UpdateClmul(Crc, P, N);
}

bool Crc32Clmul512Supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq") &&
           __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#else  // not x86: every folding variant is the portable method

uint32_t Crc32UpdateClmul(uint32_t Crc, const unsigned char* P, size_t N) {
    return Crc32UpdateSlicing8(Crc, P, N);
}

bool Crc32ClmulSupported() {
    return false;
}

uint32_t Crc32UpdateClmul512(uint32_t Crc, const unsigned char* P, size_t N) {
    return Crc32UpdateSlicing8(Crc, P, N);
}

bool Crc32Clmul512Supported() {
    return false;
}

#endif

}  // namespace qm::detail
