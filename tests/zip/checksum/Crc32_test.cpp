// CRC-32: the table against the polynomial, known vectors, and every fast method against the
// one-table step over many lengths, alignments and split points.
#include "zip/checksum/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace qm {
namespace {

std::vector<unsigned char> RandomBytes(size_t N, unsigned Seed) {
    std::mt19937 gen(Seed);
    std::vector<unsigned char> v(N);
    for (auto& b : v) b = static_cast<unsigned char>(gen());
    return v;
}

uint32_t StepwiseRegister(uint32_t Crc, const unsigned char* P, size_t N) {
    for (size_t i = 0; i < N; ++i) Crc = Crc32Step(Crc, P[i]);
    return Crc;
}

TEST(Crc32, TableEntriesAndKnownVectors) {
    EXPECT_EQ(Crc32Table[0], 0u);
    EXPECT_EQ(Crc32Table[1], 0x77073096u);
    EXPECT_EQ(Crc32Table[255], 0x2D02EF8Du);
    const std::string check = "123456789";
    EXPECT_EQ(Crc32Of(check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(Crc32Of("", 0), 0u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(Crc32Of(fox.data(), fox.size()), 0x414FA339u);
    std::vector<unsigned char> zeros(32, 0);
    EXPECT_EQ(Crc32Of(zeros.data(), zeros.size()), 0x190A55ADu);
}

TEST(Crc32, BlockFormMatchesStepForm) {
    auto data = RandomBytes(65535, 1);
    uint32_t step = StepwiseRegister(0xFFFFFFFFu, data.data(), data.size());
    EXPECT_EQ(Crc32Block(0xFFFFFFFFu, data.data(), 65535), step);
    EXPECT_EQ(Crc32Block(0x12345678u, data.data(), 0), 0x12345678u);
}

TEST(Crc32, EveryMethodEqualsTheTableOnAllLengthsAndAlignments) {
    auto data = RandomBytes(4096 + 64, 7);
    std::vector<TCrc32Method> methods = {TCrc32Method::Slicing8};
    for (auto m : {TCrc32Method::Clmul, TCrc32Method::Clmul512})
        if (Crc32MethodAvailable(m)) methods.push_back(m);
    for (size_t offset = 0; offset < 17; ++offset) {
        for (size_t len = 0; len <= 1200; ++len) {
            const unsigned char* p = data.data() + offset;
            uint32_t want = Crc32UpdateWith(TCrc32Method::Table, 0xFFFFFFFFu, p, len);
            for (auto m : methods)
                ASSERT_EQ(Crc32UpdateWith(m, 0xFFFFFFFFu, p, len), want)
                    << "method " << int(m) << " offset " << offset << " length " << len;
            ASSERT_EQ(Crc32Update(0xFFFFFFFFu, p, len), want);
        }
    }
}

TEST(Crc32, LargeBuffersAndSplitsAgreeWithAnIndependentImplementation) {
    auto data = RandomBytes(3 * 1024 * 1024 + 13, 42);
    const uLong want = crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size()));
    EXPECT_EQ(Crc32Of(data.data(), data.size()), static_cast<uint32_t>(want));
    for (auto m : {TCrc32Method::Slicing8, TCrc32Method::Clmul, TCrc32Method::Clmul512}) {
        if (!Crc32MethodAvailable(m)) continue;
        EXPECT_EQ(Crc32UpdateWith(m, 0xFFFFFFFFu, data.data(), data.size()) ^ 0xFFFFFFFFu,
                  static_cast<uint32_t>(want))
            << int(m);
    }
    // Feeding the data in uneven pieces must give the same register as one call.
    std::mt19937 gen(3);
    uint32_t crc = 0xFFFFFFFFu;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t n = std::min<size_t>(data.size() - pos, gen() % 70000);
        crc = n <= 65535 ? Crc32Block(crc, data.data() + pos, static_cast<uint16_t>(n))
                         : Crc32Update(crc, data.data() + pos, n);
        pos += n;
    }
    EXPECT_EQ(crc ^ 0xFFFFFFFFu, static_cast<uint32_t>(want));
}

TEST(Crc32, ActiveMethodIsTheWidestFoldingOneTheProcessorHas) {
    TCrc32Method want = Crc32MethodAvailable(TCrc32Method::Clmul512) ? TCrc32Method::Clmul512
                        : Crc32MethodAvailable(TCrc32Method::Clmul)  ? TCrc32Method::Clmul
                                                                     : TCrc32Method::Slicing8;
    EXPECT_EQ(Crc32ActiveMethod(), want);
}

}  // namespace
}  // namespace qm
