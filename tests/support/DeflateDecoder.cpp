#include "support/DeflateDecoder.h"

#include <stdexcept>

namespace qm::test {

namespace {

class TBitReader {
  public:
    explicit TBitReader(const std::string& S) : FData(S) {}
    uint32_t Bits(int N) {
        uint32_t V = 0;
        for (int I = 0; I < N; ++I) {
            if (FByte >= FData.size()) throw std::runtime_error("deflate stream ends early");
            const uint32_t Bit = (static_cast<uint8_t>(FData[FByte]) >> FBit) & 1;
            V |= Bit << I;
            if (++FBit == 8) {
                FBit = 0;
                ++FByte;
            }
        }
        return V;
    }
    void Align() {
        if (FBit != 0) {
            FBit = 0;
            ++FByte;
        }
    }
    uint8_t Byte() { return static_cast<uint8_t>(Bits(8)); }
    size_t Consumed() const { return FByte + (FBit != 0 ? 1 : 0); }

  private:
    const std::string& FData;
    size_t FByte = 0;
    int FBit = 0;
};

// Canonical Huffman decoding, one bit at a time: for each length, the codes are consecutive.
class THuffman {
  public:
    explicit THuffman(const std::vector<uint8_t>& Lengths) {
        for (uint8_t L : Lengths) ++FCount[L];
        FCount[0] = 0;
        int Left = 1;
        for (int L = 1; L <= 15; ++L) {
            Left = Left * 2 - FCount[L];
            if (Left < 0) throw std::runtime_error("over-subscribed code");
        }
        std::vector<int> Offset(16, 0);
        for (int L = 1; L < 15; ++L) Offset[L + 1] = Offset[L] + FCount[L];
        FSymbols.resize(Lengths.size());
        for (size_t S = 0; S < Lengths.size(); ++S)
            if (Lengths[S] != 0) FSymbols[Offset[Lengths[S]]++] = static_cast<int>(S);
    }
    int Decode(TBitReader& In) const {
        int Code = 0, First = 0, Index = 0;
        for (int L = 1; L <= 15; ++L) {
            Code |= static_cast<int>(In.Bits(1));
            const int Count = FCount[L];
            if (Code - Count < First) return FSymbols[Index + (Code - First)];
            Index += Count;
            First = (First + Count) << 1;
            Code <<= 1;
        }
        throw std::runtime_error("invalid Huffman code");
    }

  private:
    int FCount[16] = {};
    std::vector<int> FSymbols;
};

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void DecodeSymbols(TBitReader& In, const THuffman& Lit, const THuffman& Dist, TDeflateDecoded& Out,
                   TDeflateBlock& Block) {
    for (;;) {
        const int Symbol = Lit.Decode(In);
        if (Symbol == 256) return;
        TDeflateToken T;
        if (Symbol < 256) {
            T.Literal = static_cast<uint8_t>(Symbol);
            Out.Bytes.push_back(static_cast<char>(Symbol));
        } else {
            const int L = Symbol - 257;
            if (L >= 29) throw std::runtime_error("invalid length symbol");
            T.Length = static_cast<uint16_t>(kLengthBase[L] + In.Bits(kLengthExtra[L]));
            const int D = Dist.Decode(In);
            if (D >= 30) throw std::runtime_error("invalid distance symbol");
            T.Distance = static_cast<uint16_t>(kDistBase[D] + In.Bits(kDistExtra[D]));
            if (T.Distance > Out.Bytes.size()) throw std::runtime_error("distance too far back");
            for (int I = 0; I < T.Length; ++I)
                Out.Bytes.push_back(Out.Bytes[Out.Bytes.size() - T.Distance]);
        }
        Out.Tokens.push_back(T);
        ++Block.TokenCount;
    }
}

}  // namespace

TDeflateDecoded DecodeDeflate(const std::string& Stream) {
    TDeflateDecoded Out;
    TBitReader In(Stream);
    bool Last = false;
    while (!Last) {
        TDeflateBlock Block;
        Last = In.Bits(1) != 0;
        Block.Last = Last;
        Block.Type = static_cast<int>(In.Bits(2));
        Block.FirstToken = Out.Tokens.size();
        Block.InputOffset = Out.Bytes.size();
        if (Block.Type == 0) {
            In.Align();
            const uint32_t Len = In.Bits(16);
            const uint32_t NLen = In.Bits(16);
            if ((Len ^ 0xFFFF) != NLen) throw std::runtime_error("stored length mismatch");
            for (uint32_t I = 0; I < Len; ++I) Out.Bytes.push_back(static_cast<char>(In.Byte()));
            Block.StoredLength = Len;
        } else if (Block.Type == 1) {
            std::vector<uint8_t> L(288), D(30, 5);
            for (int I = 0; I < 288; ++I) L[I] = I < 144 ? 8 : I < 256 ? 9 : I < 280 ? 7 : 8;
            DecodeSymbols(In, THuffman(L), THuffman(D), Out, Block);
        } else if (Block.Type == 2) {
            const int HLit = static_cast<int>(In.Bits(5)) + 257;
            const int HDist = static_cast<int>(In.Bits(5)) + 1;
            const int HCLen = static_cast<int>(In.Bits(4)) + 4;
            static const int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
            std::vector<uint8_t> CL(19, 0);
            for (int I = 0; I < HCLen; ++I) CL[kOrder[I]] = static_cast<uint8_t>(In.Bits(3));
            const THuffman CodeLengths(CL);
            std::vector<uint8_t> Lengths;
            while (static_cast<int>(Lengths.size()) < HLit + HDist) {
                const int S = CodeLengths.Decode(In);
                if (S < 16) {
                    Lengths.push_back(static_cast<uint8_t>(S));
                } else if (S == 16) {
                    if (Lengths.empty()) throw std::runtime_error("repeat with no length");
                    const uint8_t Prev = Lengths.back();
                    for (uint32_t I = 3 + In.Bits(2); I > 0; --I) Lengths.push_back(Prev);
                } else {
                    const uint32_t N = S == 17 ? 3 + In.Bits(3) : 11 + In.Bits(7);
                    for (uint32_t I = 0; I < N; ++I) Lengths.push_back(0);
                }
            }
            if (static_cast<int>(Lengths.size()) != HLit + HDist)
                throw std::runtime_error("code lengths overrun");
            Block.LiteralLengths.assign(Lengths.begin(), Lengths.begin() + HLit);
            Block.DistanceLengths.assign(Lengths.begin() + HLit, Lengths.end());
            DecodeSymbols(In, THuffman(Block.LiteralLengths), THuffman(Block.DistanceLengths), Out,
                          Block);
        } else {
            throw std::runtime_error("reserved block type");
        }
        Out.Blocks.push_back(std::move(Block));
    }
    Out.StreamBytes = In.Consumed();
    return Out;
}

}  // namespace qm::test
