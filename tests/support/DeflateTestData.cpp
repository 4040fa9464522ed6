#include "support/DeflateTestData.h"

#include <algorithm>
#include <cstring>

namespace qm::test {

namespace {

struct TRandom {
    uint64_t State;
    explicit TRandom(uint32_t Seed) : State(0x9E3779B97F4A7C15ull * (Seed + 1)) {}
    uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 7;
        State ^= State << 17;
        return static_cast<uint32_t>(State >> 11);
    }
};

}  // namespace

uint32_t TMemoryDeflateIO::ReadInput(uint8_t* Buffer, uint16_t Count) {
    const size_t N = std::min<size_t>(Count, FInput.size() - FPosition);
    std::memcpy(Buffer, FInput.data() + FPosition, N);
    FPosition += N;
    Reads.push_back({Buffer, Count, static_cast<uint32_t>(N)});
    return static_cast<uint32_t>(N);
}

void TMemoryDeflateIO::WriteOutput(const uint8_t* Buffer, uint32_t Count) {
    FOutput.append(reinterpret_cast<const char*>(Buffer), Count);
    Writes.push_back(Count);
}

std::string MakeText(size_t Size, uint32_t Seed) {
    static const char* const kWords[] = {
        "the",      "archive", "of",     "a",      "back-up",    "file",  "folder", "is",
        "written",  "with",    "each",   "member", "compressed", "and",   "its",    "name",
        "relative", "to",      "source", "when",   "list",       "types", "masks",  "window",
        "progress", "bar",     "shows",  "cancel", "button",     "reads", "every",  "byte"};
    TRandom R(Seed);
    std::string S;
    S.reserve(Size + 16);
    size_t Line = 0;
    while (S.size() < Size) {
        const char* W = kWords[R.Next() % (sizeof kWords / sizeof kWords[0])];
        S += W;
        Line += std::strlen(W);
        if (R.Next() % 11 == 0) S += ',';
        if (Line > 60) {
            S += ".\r\n";
            Line = 0;
        } else {
            S += ' ';
        }
    }
    S.resize(Size);
    return S;
}

std::string MakeBinary(size_t Size, uint32_t Seed) {
    TRandom R(Seed);
    std::string S;
    S.reserve(Size + 16);
    uint32_t Counter = 0;
    while (S.size() < Size) {
        const uint32_t Kind = R.Next() % 4;
        uint32_t V = Kind == 0   ? R.Next()
                     : Kind == 1 ? Counter++ * 16
                     : Kind == 2 ? 0
                                 : 0x00401000 + (R.Next() % 64) * 4;
        for (int I = 0; I < 4; ++I) S += static_cast<char>(V >> (8 * I));
        if (R.Next() % 16 == 0) S.append(R.Next() % 24, '\0');
    }
    S.resize(Size);
    return S;
}

std::string MakeRandom(size_t Size, uint32_t Seed) {
    TRandom R(Seed);
    std::string S(Size, '\0');
    for (size_t I = 0; I < Size; ++I) S[I] = static_cast<char>(R.Next() >> 5);
    return S;
}

std::string MakeDeBruijn3(int K, char First) {
    // The standard recursive construction (Lyndon words), followed by the first two letters
    // again so that the sequence need not wrap.
    std::vector<int> A(3 * 3 + 1, 0);
    std::string S;
    auto Db = [&](auto&& Self, int T, int P) -> void {
        if (T > 3) {
            if (3 % P == 0)
                for (int J = 1; J <= P; ++J) S += static_cast<char>(First + A[J]);
        } else {
            A[T] = A[T - P];
            Self(Self, T + 1, P);
            for (int J = A[T - P] + 1; J < K; ++J) {
                A[T] = J;
                Self(Self, T + 1, T);
            }
        }
    };
    Db(Db, 1, 1);
    S += S.substr(0, 2);
    return S;
}

}  // namespace qm::test
