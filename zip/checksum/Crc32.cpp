#include "zip/checksum/Crc32.h"

#include <array>
#include <bit>
#include <cstring>

#include "zip/checksum/Crc32X86.h"

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

}  // namespace

uint32_t detail::Crc32UpdateSlicing8(uint32_t Crc, const unsigned char* P, size_t N) {
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

namespace {

using detail::Crc32Clmul512Supported;
using detail::Crc32ClmulSupported;
using detail::Crc32UpdateClmul;
using detail::Crc32UpdateClmul512;
using detail::Crc32UpdateSlicing8;

using TUpdateFn = uint32_t (*)(uint32_t, const unsigned char*, size_t);

TUpdateFn ActiveFn() {
    static const TUpdateFn fn = Crc32Clmul512Supported() ? Crc32UpdateClmul512
                                : Crc32ClmulSupported()  ? Crc32UpdateClmul
                                                         : Crc32UpdateSlicing8;
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
            return Crc32ClmulSupported();
        case TCrc32Method::Clmul512:
            return Crc32Clmul512Supported();
        default:
            return true;
    }
}

TCrc32Method Crc32ActiveMethod() {
    const TUpdateFn fn = ActiveFn();
    return fn == Crc32UpdateClmul512 ? TCrc32Method::Clmul512
           : fn == Crc32UpdateClmul  ? TCrc32Method::Clmul
                                     : TCrc32Method::Slicing8;
}

uint32_t Crc32UpdateWith(TCrc32Method Method, uint32_t Crc, const void* Buffer, size_t Count) {
    const auto* p = static_cast<const unsigned char*>(Buffer);
    switch (Method) {
        case TCrc32Method::Table:
            return UpdateTable(Crc, p, Count);
        case TCrc32Method::Slicing8:
            return Crc32UpdateSlicing8(Crc, p, Count);
        case TCrc32Method::Clmul:
            return Crc32UpdateClmul(Crc, p, Count);
        case TCrc32Method::Clmul512:
            return Crc32UpdateClmul512(Crc, p, Count);
    }
    return Crc;
}

}  // namespace qm
