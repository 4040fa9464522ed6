#include "zip/Crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QM_CRC_X86 1
#endif

namespace qm {

namespace {

constexpr uint32_t kPoly = 0xEDB88320u;

constexpr std::array<std::array<uint32_t, 256>, 8> MakeTables() {
    std::array<std::array<uint32_t, 256>, 8> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? kPoly ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    // Table k advances a byte that lies k positions ahead of the register's low byte.
    for (uint32_t n = 0; n < 256; ++n)
        for (size_t k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    return t;
}

constexpr auto kTables = MakeTables();

uint32_t UpdateTable(uint32_t Crc, const unsigned char* P, size_t N) {
    while (N--) Crc = kTables[0][(Crc ^ *P++) & 0xFF] ^ (Crc >> 8);
    return Crc;
}

uint32_t UpdateSlicing8(uint32_t Crc, const unsigned char* P, size_t N) {
    while (N >= 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, P, 4);
        std::memcpy(&hi, P + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            lo = __builtin_bswap32(lo);
            hi = __builtin_bswap32(hi);
        }
        lo ^= Crc;
        Crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        P += 8;
        N -= 8;
    }
    return UpdateTable(Crc, P, N);
}

#ifdef QM_CRC_X86

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
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
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
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);

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

uint32_t UpdateClmul(uint32_t Crc, const unsigned char* P, size_t N) {
    if (N >= 64) {
        size_t bulk = N & ~static_cast<size_t>(15);
        Crc = FoldClmul(Crc, P, bulk);
        P += bulk;
        N -= bulk;
    }
    return UpdateSlicing8(Crc, P, N);
}

bool ClmulSupported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

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
    const __m512i k2048 = _mm512_broadcast_i32x4(_mm_set_epi64x(0x01322d1430, 0x011542778a));
    const __m512i k512 = _mm512_broadcast_i32x4(_mm_set_epi64x(0x01c6e41596, 0x0154442bd4));
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
    const __m128i k384 = _mm_set_epi64x(0x0174359406, 0x003db1ecdc);
    const __m128i k256 = _mm_set_epi64x(0x015a546366, 0x00f1da05aa);
    const __m128i k128 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    __m128i acc = Fold128(_mm512_extracti32x4_epi32(x0, 0), _mm512_extracti32x4_epi32(x0, 3), k384);
    acc = Fold128(_mm512_extracti32x4_epi32(x0, 1), acc, k256);
    acc = Fold128(_mm512_extracti32x4_epi32(x0, 2), acc, k128);
    return Reduce128(acc, P, N);
}

uint32_t UpdateClmul512(uint32_t Crc, const unsigned char* P, size_t N) {
    if (N >= 256) {
        size_t bulk = N & ~static_cast<size_t>(15);
        Crc = FoldClmul512(Crc, P, bulk);
        P += bulk;
        N -= bulk;
    }
    return UpdateClmul(Crc, P, N);
}

bool Clmul512Supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq") &&
           __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#else

uint32_t UpdateClmul(uint32_t Crc, const unsigned char* P, size_t N) {
    return UpdateSlicing8(Crc, P, N);
}

bool ClmulSupported() {
    return false;
}

uint32_t UpdateClmul512(uint32_t Crc, const unsigned char* P, size_t N) {
    return UpdateSlicing8(Crc, P, N);
}

bool Clmul512Supported() {
    return false;
}

#endif

using TUpdateFn = uint32_t (*)(uint32_t, const unsigned char*, size_t);

TUpdateFn ActiveFn() {
    static const TUpdateFn fn = Clmul512Supported() ? UpdateClmul512
                                : ClmulSupported()  ? UpdateClmul
                                                    : UpdateSlicing8;
    return fn;
}

}  // namespace

const uint32_t Crc32Table[256] = {
#define QM_ROW(i) kTables[0][i], kTables[0][i + 1], kTables[0][i + 2], kTables[0][i + 3]
#define QM_ROW16(i) QM_ROW(i), QM_ROW(i + 4), QM_ROW(i + 8), QM_ROW(i + 12)
    QM_ROW16(0),   QM_ROW16(16),  QM_ROW16(32),  QM_ROW16(48),  QM_ROW16(64),  QM_ROW16(80),
    QM_ROW16(96),  QM_ROW16(112), QM_ROW16(128), QM_ROW16(144), QM_ROW16(160), QM_ROW16(176),
    QM_ROW16(192), QM_ROW16(208), QM_ROW16(224), QM_ROW16(240)
#undef QM_ROW16
#undef QM_ROW
};

uint32_t Crc32Block(uint32_t Crc, const void* Buffer, uint16_t Count) {
    return ActiveFn()(Crc, static_cast<const unsigned char*>(Buffer), Count);
}

uint32_t Crc32Update(uint32_t Crc, const void* Buffer, size_t Count) {
    if (Count == 0) return Crc;
    return ActiveFn()(Crc, static_cast<const unsigned char*>(Buffer), Count);
}

uint32_t Crc32Of(const void* Buffer, size_t Count) {
    return Crc32Update(0xFFFFFFFFu, Buffer, Count) ^ 0xFFFFFFFFu;
}

bool Crc32MethodAvailable(TCrc32Method Method) {
    switch (Method) {
        case TCrc32Method::Clmul:
            return ClmulSupported();
        case TCrc32Method::Clmul512:
            return Clmul512Supported();
        default:
            return true;
    }
}

TCrc32Method Crc32ActiveMethod() {
    const TUpdateFn fn = ActiveFn();
    return fn == UpdateClmul512 ? TCrc32Method::Clmul512
           : fn == UpdateClmul  ? TCrc32Method::Clmul
                                : TCrc32Method::Slicing8;
}

uint32_t Crc32UpdateWith(TCrc32Method Method, uint32_t Crc, const void* Buffer, size_t Count) {
    const auto* p = static_cast<const unsigned char*>(Buffer);
    switch (Method) {
        case TCrc32Method::Table:
            return UpdateTable(Crc, p, Count);
        case TCrc32Method::Slicing8:
            return UpdateSlicing8(Crc, p, Count);
        case TCrc32Method::Clmul:
            return UpdateClmul(Crc, p, Count);
        case TCrc32Method::Clmul512:
            return UpdateClmul512(Crc, p, Count);
    }
    return Crc;
}

}  // namespace qm
