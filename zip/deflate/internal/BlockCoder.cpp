#include "zip/deflate/internal/BlockCoder.h"

#include <cstring>

namespace qm::detail {

namespace {

// Walks one tree's code lengths as runs, the way the tree header codes them, calling
// Emit(Length, RunCount, PreviousLength, MaxRun, MinRun) for every run that ends. The same walk
// counts the code-length frequencies and sends the header, so the two always agree.
template <typename EmitRun>
void WalkRuns(const TTreeNode* Tree, int LargestUsed, EmitRun Emit) {
    int Previous = -1;
    int Next = Tree[0].Len;
    int Count = 0;
    int MaxRun = 7;
    int MinRun = 4;
    if (Next == 0) {
        MaxRun = 138;
        MinRun = 3;
    }
    for (int N = 0; N <= LargestUsed; ++N) {
        const int Current = Next;
        Next = N + 1 <= LargestUsed ? Tree[N + 1].Len : 0xFFFF;
        if (++Count < MaxRun && Current == Next) continue;
        Emit(Current, Count, Previous, MinRun);
        Count = 0;
        Previous = Current;
        if (Next == 0) {
            MaxRun = 138;
            MinRun = 3;
        } else if (Current == Next) {
            MaxRun = 6;
            MinRun = 3;
        } else {
            MaxRun = 7;
            MinRun = 4;
        }
    }
}

}  // namespace

TBlockCoder::TBlockCoder(TDeflateBuffers& Buffers, TDeflateStaticTables& Tables, TDeflateIO& IO,
                         int PackLevel, TDeflateEntryBits& Entry)
    : FTables(Tables),
      FEntry(Entry),
      FWindow(Buffers.Window()),
      FLiterals(Buffers.Literals()),
      FDistances(Buffers.Distances()),
      FFlagBits(Buffers.FlagBits()),
      FPackLevel(PackLevel),
      FOut(IO) {
    if (!Tables.Built()) Tables.BuildStaticTables();
    std::memset(FLiteralTree, 0, sizeof FLiteralTree);
    std::memset(FDistanceTree, 0, sizeof FDistanceTree);
    std::memset(FBitLengthTree, 0, sizeof FBitLengthTree);
    FLiteralDesc = {FLiteralTree,
                    Tables.FixedLiteralCodes,
                    kLengthExtraBits,
                    kLiteralCount + 1,
                    kLiteralLengthSymbols,
                    kMaxBits,
                    -1};
    FDistanceDesc = {FDistanceTree,
                     Tables.FixedDistanceCodes,
                     kDistanceExtraBits,
                     0,
                     kDistanceSymbols,
                     kMaxBits,
                     -1};
    FBitLengthDesc = {FBitLengthTree,    nullptr, kBitLengthExtraBits, 0, kBitLengthSymbols,
                      kMaxBitLengthBits, -1};
    ResetBlock();
}

void TBlockCoder::ResetBlock() {
    for (int N = 0; N < kLiteralLengthSymbols; ++N) FLiteralTree[N].Freq = 0;
    for (int N = 0; N < kDistanceSymbols; ++N) FDistanceTree[N].Freq = 0;
    for (int N = 0; N < kBitLengthSymbols; ++N) FBitLengthTree[N].Freq = 0;
    FLiteralTree[kEndOfBlock].Freq = 1;
    FCosts = {};
    FSymbolCount = FMatchCount = FFlagCount = 0;
    FFlagByte = 0;
    FFlagBit = 1;
}

bool TBlockCoder::EarlyEnd(int64_t InputLength) const {
    // A block of mostly literals that already codes to less than half its input is ended so
    // that the next part of the file gets codes of its own.
    if (FPackLevel > 2) {
        int64_t Estimate = static_cast<int64_t>(FSymbolCount) * 8;
        for (int Code = 0; Code < kDistanceSymbols; ++Code)
            Estimate +=
                static_cast<int64_t>(FDistanceTree[Code].Freq) * (5 + kDistanceExtraBits[Code]);
        Estimate >>= 3;
        if (FMatchCount < (FSymbolCount >> 1) && Estimate < InputLength / 2) return true;
    }
    return FSymbolCount == kMaxBlockSymbols;
}

void TBlockCoder::DetectTextData() {
    uint16_t Binary = 0;
    uint16_t Text = 0;
    int N = 0;
    while (N < 7) Binary = static_cast<uint16_t>(Binary + FLiteralTree[N++].Freq);
    while (N < 128) Text = static_cast<uint16_t>(Text + FLiteralTree[N++].Freq);
    while (N < kLiteralCount) Binary = static_cast<uint16_t>(Binary + FLiteralTree[N++].Freq);
    FEntry.InternalAttributes = Binary > (Text >> 2) ? 0 : 1;
}

void TBlockCoder::ScanTree(const TTreeNode* Tree, int LargestUsed) {
    WalkRuns(Tree, LargestUsed, [this](int Current, int Count, int Previous, int MinRun) {
        TTreeNode* BL = FBitLengthTree;
        if (Count < MinRun) {
            BL[Current].Freq = static_cast<uint16_t>(BL[Current].Freq + Count);
        } else if (Current != 0) {
            if (Current != Previous) ++BL[Current].Freq;
            ++BL[kRepeatPrevious].Freq;
        } else if (Count <= 10) {
            ++BL[kRepeatZeros3].Freq;
        } else {
            ++BL[kRepeatZeros11].Freq;
        }
    });
}

void TBlockCoder::SendTree(const TTreeNode* Tree, int LargestUsed) {
    WalkRuns(Tree, LargestUsed, [this](int Current, int Count, int Previous, int MinRun) {
        const TTreeNode* BL = FBitLengthTree;
        auto Send = [&](int Symbol) { FOut.PutBits(BL[Symbol].Code, BL[Symbol].Len); };
        if (Count < MinRun) {
            do Send(Current);
            while (--Count != 0);
        } else if (Current != 0) {
            if (Current != Previous) {
                Send(Current);
                --Count;
            }
            Send(kRepeatPrevious);
            FOut.PutBits(Count - 3, 2);
        } else if (Count <= 10) {
            Send(kRepeatZeros3);
            FOut.PutBits(Count - 3, 3);
        } else {
            Send(kRepeatZeros11);
            FOut.PutBits(Count - 11, 7);
        }
    });
}

int TBlockCoder::BuildBitLengthTree() {
    ScanTree(FLiteralTree, FLiteralDesc.LargestUsed);
    ScanTree(FDistanceTree, FDistanceDesc.LargestUsed);
    BuildHuffmanTree(FBitLengthDesc, FScratch, FCosts);
    int MaxIndex = kBitLengthSymbols - 1;
    for (; MaxIndex >= 3; --MaxIndex)
        if (FBitLengthTree[kBitLengthOrder[MaxIndex]].Len != 0) break;
    FCosts.Dynamic += 3 * (MaxIndex + 1) + 5 + 5 + 4;
    return MaxIndex + 1;
}

void TBlockCoder::SendAllTrees(int BitLengthCodes) {
    FOut.PutBits(FLiteralDesc.LargestUsed + 1 - 257, 5);
    FOut.PutBits(FDistanceDesc.LargestUsed + 1 - 1, 5);
    FOut.PutBits(BitLengthCodes - 4, 4);
    for (int Rank = 0; Rank < BitLengthCodes; ++Rank)
        FOut.PutBits(FBitLengthTree[kBitLengthOrder[Rank]].Len, 3);
    SendTree(FLiteralTree, FLiteralDesc.LargestUsed);
    SendTree(FDistanceTree, FDistanceDesc.LargestUsed);
}

void TBlockCoder::CompressBlock(const TDeflateCode* LiteralCodes,
                                const TDeflateCode* DistanceCodes) {
    // Each length symbol is sent together with its extra bits: one table entry per length - 3.
    uint32_t LengthBits[256];
    uint8_t LengthBitCount[256];
    for (int L = 0; L < 256; ++L) {
        const int Code = FTables.LengthCode[L];
        const TDeflateCode& C = LiteralCodes[kLiteralCount + 1 + Code];
        const int Extra = kLengthExtraBits[Code];
        // Length 258 has a code of its own and no extra bits, though it is not its code's base.
        const uint32_t ExtraValue =
            Extra != 0 ? static_cast<uint32_t>(L - FTables.BaseLength[Code]) : 0;
        LengthBits[L] = C.Code | (ExtraValue << C.Length);
        LengthBitCount[L] = static_cast<uint8_t>(C.Length + Extra);
    }

    uint32_t DistanceIndex = 0;
    uint32_t Flags = 0;
    for (uint32_t N = 0; N < FSymbolCount; ++N) {
        if ((N & 7) == 0) Flags = FFlagBits[N >> 3];
        const uint32_t Value = FLiterals[N];
        if ((Flags & 1) == 0) {
            FOut.PutBits(LiteralCodes[Value].Code, LiteralCodes[Value].Length);
        } else {
            FOut.PutBits(LengthBits[Value], LengthBitCount[Value]);
            const uint32_t Distance = FDistances[DistanceIndex++];
            const int Code = FTables.DistanceCodeOf(Distance);
            const TDeflateCode& C = DistanceCodes[Code];
            FOut.PutBits(C.Code | ((Distance - FTables.BaseDistance[Code]) << C.Length),
                         C.Length + kDistanceExtraBits[Code]);
        }
        Flags >>= 1;
    }
    FOut.PutBits(LiteralCodes[kEndOfBlock].Code, LiteralCodes[kEndOfBlock].Length);
}

uint64_t TBlockCoder::EmitBlock(const uint8_t* Input, uint32_t StoredLength, bool Last) {
    FFlagBits[FFlagCount] = FFlagByte;
    if (FEntry.InternalAttributes == 2) DetectTextData();

    BuildHuffmanTree(FLiteralDesc, FScratch, FCosts);
    BuildHuffmanTree(FDistanceDesc, FScratch, FCosts);
    const int BitLengthCodes = BuildBitLengthTree();

    const uint64_t DynamicBytes = static_cast<uint64_t>(FCosts.Dynamic + 3 + 7) >> 3;
    const uint64_t FixedBytes = static_cast<uint64_t>(FCosts.Fixed + 3 + 7) >> 3;
    const uint64_t Best = FixedBytes <= DynamicBytes ? FixedBytes : DynamicBytes;

    if (StoredLength <= Best && Last && FCompressedBits == 0 && Input) {
        // The file does not compress: its data is the file itself.
        FOut.CopyRawBlock(Input, StoredLength, false);
        FCompressedBits = static_cast<uint64_t>(StoredLength) << 3;
        FEntry.Method = 0;
        FWrittenRaw = true;
    } else if (StoredLength + 4 <= Best && Input && StoredLength <= 0xFFFF) {
        // A stored block's length field has 16 bits; a longer block is coded instead.
        FOut.PutBits(0 + (Last ? 1 : 0), 3);
        FCompressedBits = ((FCompressedBits + 3 + 7) & ~uint64_t{7}) +
                          (static_cast<uint64_t>(StoredLength) + 4) * 8;
        FOut.CopyRawBlock(Input, StoredLength, true);
    } else if (FixedBytes == Best) {
        FOut.PutBits(2 + (Last ? 1 : 0), 3);
        CompressBlock(FTables.FixedLiteralCodes, FTables.FixedDistanceCodes);
        FCompressedBits += 3 + static_cast<uint64_t>(FCosts.Fixed);
    } else {
        FOut.PutBits(4 + (Last ? 1 : 0), 3);
        SendAllTrees(BitLengthCodes);
        TDeflateCode LiteralCodes[kLiteralLengthSymbols];
        TDeflateCode DistanceCodes[kDistanceSymbols];
        for (int N = 0; N < kLiteralLengthSymbols; ++N)
            LiteralCodes[N] = {FLiteralTree[N].Code, FLiteralTree[N].Len};
        for (int N = 0; N < kDistanceSymbols; ++N)
            DistanceCodes[N] = {FDistanceTree[N].Code, FDistanceTree[N].Len};
        CompressBlock(LiteralCodes, DistanceCodes);
        FCompressedBits += 3 + static_cast<uint64_t>(FCosts.Dynamic);
    }
    ResetBlock();

    if (Last) {
        // Only the first 65,535 bytes: the last byte of the window keeps its value into the
        // next file, and so can the bytes a match comparison reads past the valid data.
        std::memset(FWindow, 0, kDeflateWindowSize - 1);
        FOut.AlignToByte();
        FCompressedBits += 7;
    }
    return FCompressedBits >> 3;
}

}  // namespace qm::detail
