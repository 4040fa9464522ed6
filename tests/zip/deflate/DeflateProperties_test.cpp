// Rules of the match finder and the block coder, checked on the symbols of the streams it writes
// (decoded by the test-side decoder), plus the match extension against a byte-pair reference.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/zip/deflate/DeflateTestUtil.h"
#include "zip/deflate/internal/MatchLength.h"

namespace qm {
namespace {

using test::Compress;
using test::DecodeDeflate;

// Literal stretches with long copies of earlier material between them: few symbols are matches,
// but the matches cover most of the input, so blocks end early at levels 3 and up.
std::string LiteralsAndLongCopies(size_t Size) {
    const std::string Pool = test::MakeRandom(Size, 11);
    std::string S;
    std::mt19937 R(5);
    size_t P = 0;
    while (S.size() < Size) {
        S.append(Pool, P, 60);
        P += 60;
        if (S.size() > 20000) S.append(S, S.size() - 1000 - R() % 15000, 200 + R() % 50);
    }
    S.resize(Size);
    return S;
}

TEST(DeflateProperties, RunOfOneByteGivesTwoLiteralsThenDistanceOneOr258) {
    const std::string In(5000, 'z');
    for (int Level = 1; Level <= 9; ++Level) {
        SCOPED_TRACE(Level);
        const auto D = DecodeDeflate(Compress(In, Level).Output);
        ASSERT_GE(D.Tokens.size(), 4u);
        EXPECT_FALSE(D.Tokens[0].IsMatch());
        EXPECT_FALSE(D.Tokens[1].IsMatch());
        EXPECT_EQ(D.Tokens[2].Length, 258);
        EXPECT_EQ(D.Tokens[2].Distance, 1);
        // The inside of a long match is not inserted at the greedy levels, so the next candidate
        // is the start of the previous match.
        const int Later = Level <= 3 ? 258 : 1;
        for (size_t I = 3; I < D.Tokens.size(); ++I) {
            if (!D.Tokens[I].IsMatch()) continue;
            EXPECT_EQ(D.Tokens[I].Distance, Later) << "token " << I;
            if (I + 2 < D.Tokens.size()) {
                EXPECT_EQ(D.Tokens[I].Length, 258) << "token " << I;
            }
        }
        EXPECT_EQ(D.Bytes, In);
    }
}

TEST(DeflateProperties, DistancesStayWithinTheSearchLimitAndFarShortMatchesAreDropped) {
    const std::string In = test::MakeBinary(200000) + test::MakeText(150000) +
                           LiteralsAndLongCopies(150000) + test::MakeBinary(100000, 17);
    for (int Level = 1; Level <= 9; ++Level) {
        SCOPED_TRACE(Level);
        const auto D = DecodeDeflate(Compress(In, Level).Output);
        size_t FarThree = 0;
        for (const auto& T : D.Tokens) {
            if (!T.IsMatch()) continue;
            EXPECT_LE(T.Distance, 32506);
            if (T.Length == 3 && T.Distance > 4096) ++FarThree;
        }
        if (Level >= 4) {
            EXPECT_EQ(FarThree, 0u);
        } else {
            EXPECT_GT(FarThree, 0u);
        }
        EXPECT_TRUE(D.Bytes == In);
    }
}

TEST(DeflateProperties, AThreeByteMatchFarBackIsTakenOnlyByTheGreedyLevels) {
    const std::string In = "Q\x01\x02\x03" + test::MakeDeBruijn3(16) + "\x01\x02\x03R";
    for (int Level = 1; Level <= 9; ++Level) {
        SCOPED_TRACE(Level);
        const auto D = DecodeDeflate(Compress(In, Level).Output);
        std::vector<test::TDeflateToken> Matches;
        for (const auto& T : D.Tokens)
            if (T.IsMatch()) Matches.push_back(T);
        if (Level <= 3) {
            ASSERT_EQ(Matches.size(), 1u);
            EXPECT_EQ(Matches[0].Length, 3);
            EXPECT_EQ(Matches[0].Distance, In.size() - 4 - 1);
        } else {
            EXPECT_TRUE(Matches.empty());
        }
    }
}

TEST(DeflateProperties, BlocksEndEarlyOnlyAtMultiplesOf4096Symbols) {
    const std::string In = LiteralsAndLongCopies(700000) + test::MakeText(200000);
    for (int Level = 1; Level <= 9; ++Level) {
        SCOPED_TRACE(Level);
        const auto D = DecodeDeflate(Compress(In, Level).Output);
        size_t Early = 0;
        for (const auto& B : D.Blocks) {
            if (B.Last || B.Type == 0) continue;
            if (Level <= 2) {
                EXPECT_EQ(B.TokenCount, 32767u);
            } else {
                EXPECT_TRUE(B.TokenCount == 32767 || B.TokenCount % 4096 == 0) << B.TokenCount;
                if (B.TokenCount != 32767) ++Early;
            }
        }
        if (Level >= 3) {
            EXPECT_GT(Early, 0u);
        }
        EXPECT_TRUE(D.Bytes == In);
    }
}

TEST(DeflateProperties, ALaterBlockThatDoesNotCompressIsStored) {
    const std::string In = test::MakeText(60000) + test::MakeRandom(200000);
    const auto C = Compress(In, 6);
    EXPECT_EQ(C.Entry.Method, 8);
    const auto D = DecodeDeflate(C.Output);
    size_t Stored = 0;
    for (size_t I = 1; I < D.Blocks.size(); ++I)
        if (D.Blocks[I].Type == 0) ++Stored;
    EXPECT_GT(Stored, 0u);
    EXPECT_NE(D.Blocks[0].Type, 0);
    EXPECT_TRUE(D.Bytes == In);
}

TEST(DeflateProperties, WindowIsZeroedAfterAFileExceptItsLastByte) {
    TDeflateBuffers Buffers;
    TDeflateStaticTables Tables;
    const std::string In = test::MakeText(65536 + 40000);
    Compress(In, 6, Buffers, Tables);
    const uint8_t* W = Buffers.Window();
    size_t NonZero = 0;
    for (size_t I = 0; I < 65535; ++I) NonZero += W[I] != 0;
    EXPECT_EQ(NonZero, 0u);
    EXPECT_NE(W[65535], 0);  // kept into the next file
    for (size_t I = 65536; I < 65536 + kDeflateWindowSlack; ++I) EXPECT_EQ(W[I], 0) << I;
}

// Match extension as the byte-pair loop does it: bytes 0 and 1 compared, byte 2 taken as equal,
// then pairs from offset 3, four pairs per bound check, one final single byte.
uint32_t PairLoopLength(const uint8_t* Scan, const uint8_t* Match) {
    const uint8_t* End = Scan + 257;
    ++Scan;
    ++Match;
    auto Pair = [](const uint8_t* P) { return static_cast<uint32_t>(P[0] | (P[1] << 8)); };
    do {
    } while (Pair(Scan += 2) == Pair(Match += 2) && Pair(Scan += 2) == Pair(Match += 2) &&
             Pair(Scan += 2) == Pair(Match += 2) && Pair(Scan += 2) == Pair(Match += 2) &&
             Scan < End);
    if (*Scan == *Match) ++Scan;
    return 257 - static_cast<uint32_t>(End - Scan);
}

TEST(DeflateProperties, MatchExtensionEqualsThePairLoop) {
    std::mt19937 R(3);
    std::vector<uint8_t> Buf(4096 + 600, 0);
    for (int Trial = 0; Trial < 4000; ++Trial) {
        for (auto& B : Buf) B = static_cast<uint8_t>(R() % 3);  // long chance equalities
        const size_t A = R() % 2000, B = 2100 + R() % 2000;
        const size_t Common = R() % 300;
        std::memmove(&Buf[B], &Buf[A], std::min<size_t>(Common, 600));
        Buf[B] = Buf[A];
        Buf[B + 1] = Buf[A + 1];
        Buf[B + 2] = Buf[A + 2];
        EXPECT_EQ(detail::MatchLength(&Buf[B], &Buf[A]), PairLoopLength(&Buf[B], &Buf[A]))
            << "trial " << Trial;
    }
    // The cap: identical strings longer than 258.
    std::vector<uint8_t> Same(1200, 7);
    EXPECT_EQ(detail::MatchLength(&Same[300], &Same[0]), 258u);
    EXPECT_EQ(PairLoopLength(&Same[300], &Same[0]), 258u);
}

}  // namespace
}  // namespace qm
