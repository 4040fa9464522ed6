#include "zip/deflate/internal/BlockCoder.h"

#include <cstring>
#include <utility>

namespace qm::detail {

namespace {

// Walks one tree's code lengths as runs, the way the tree header codes them, calling
// Emit(Length, RunCount, PreviousLength, MinRun) for every run that ends. The same walk
// counts the code-length frequencies and sends the header, so the two always agree.
template <typename EmitRun>
void WalkRuns(const TTreeNode* Tree, int LargestUsed, EmitRun Emit) {
    int previous = -1;
    int next = Tree[0].Len;
    int count = 0;
    int maxRun = 7;
    int minRun = 4;
    if (next == 0) {
        maxRun = 138;
        minRun = 3;
    }
    for (int n = 0; n <= LargestUsed; ++n) {
        const int current = next;
        next = n + 1 <= LargestUsed ? Tree[n + 1].Len : 0xFFFF;
        if (++count < maxRun && current == next) continue;
        Emit(current, count, previous, minRun);
        count = 0;
        previous = current;
        if (next == 0) {
            maxRun = 138;
            minRun = 3;
        } else if (current == next) {
            maxRun = 6;
            minRun = 3;
        } else {
            maxRun = 7;
            minRun = 4;
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
    for (int n = 0; n < kLiteralLengthSymbols; ++n) FLiteralTree[n].Freq = 0;
    for (int n = 0; n < kDistanceSymbols; ++n) FDistanceTree[n].Freq = 0;
    for (int n = 0; n < kBitLengthSymbols; ++n) FBitLengthTree[n].Freq = 0;
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
        int64_t estimate = static_cast<int64_t>(FSymbolCount) * 8;
        for (int code = 0; code < kDistanceSymbols; ++code)
            estimate +=
                static_cast<int64_t>(FDistanceTree[code].Freq) * (5 + kDistanceExtraBits[code]);
        estimate >>= 3;
        if (FMatchCount < (FSymbolCount >> 1) && estimate < InputLength / 2) return true;
    }
    return FSymbolCount == kMaxBlockSymbols;
}

void TBlockCoder::DetectTextData() {
    uint16_t binary = 0;
    uint16_t text = 0;
    int n = 0;
    while (n < 7) binary = static_cast<uint16_t>(binary + FLiteralTree[n++].Freq);
    while (n < 128) text = static_cast<uint16_t>(text + FLiteralTree[n++].Freq);
    while (n < kLiteralCount) binary = static_cast<uint16_t>(binary + FLiteralTree[n++].Freq);
    FEntry.InternalAttributes = binary > (text >> 2) ? 0 : 1;
}

void TBlockCoder::ScanTree(const TTreeNode* Tree, int LargestUsed) {
    WalkRuns(Tree, LargestUsed, [this](int Current, int Count, int Previous, int MinRun) {
        TTreeNode* bitLengthTree = FBitLengthTree;
        if (Count < MinRun) {
            bitLengthTree[Current].Freq =
                static_cast<uint16_t>(bitLengthTree[Current].Freq + Count);
        } else if (Current != 0) {
            if (Current != Previous) ++bitLengthTree[Current].Freq;
            ++bitLengthTree[kRepeatPrevious].Freq;
        } else if (Count <= 10) {
            ++bitLengthTree[kRepeatZeros3].Freq;
        } else {
            ++bitLengthTree[kRepeatZeros11].Freq;
        }
    });
}

void TBlockCoder::SendTree(const TTreeNode* Tree, int LargestUsed) {
    WalkRuns(Tree, LargestUsed, [this](int Current, int Count, int Previous, int MinRun) {
        const TTreeNode* bitLengthTree = FBitLengthTree;
        auto send = [&](int Symbol) {
            FOut.PutBits(bitLengthTree[Symbol].Code, bitLengthTree[Symbol].Len);
        };
        if (Count < MinRun) {
            do send(Current);
            while (--Count != 0);
        } else if (Current != 0) {
            if (Current != Previous) {
                send(Current);
                --Count;
            }
            send(kRepeatPrevious);
            FOut.PutBits(Count - 3, 2);
        } else if (Count <= 10) {
            send(kRepeatZeros3);
            FOut.PutBits(Count - 3, 3);
        } else {
            send(kRepeatZeros11);
            FOut.PutBits(Count - 11, 7);
        }
    });
}

int TBlockCoder::BuildBitLengthTree() {
    ScanTree(FLiteralTree, FLiteralDesc.LargestUsed);
    ScanTree(FDistanceTree, FDistanceDesc.LargestUsed);
    BuildHuffmanTree(FBitLengthDesc, FScratch, FCosts);
    int maxIndex = kBitLengthSymbols - 1;
    for (; maxIndex >= 3; --maxIndex)
        if (FBitLengthTree[kBitLengthOrder[maxIndex]].Len != 0) break;
    FCosts.Dynamic += 3 * (maxIndex + 1) + 5 + 5 + 4;
    return maxIndex + 1;
}

void TBlockCoder::SendAllTrees(int BitLengthCodes) {
    FOut.PutBits(FLiteralDesc.LargestUsed + 1 - 257, 5);
    FOut.PutBits(FDistanceDesc.LargestUsed + 1 - 1, 5);
    FOut.PutBits(BitLengthCodes - 4, 4);
    for (int rank = 0; rank < BitLengthCodes; ++rank)
        FOut.PutBits(FBitLengthTree[kBitLengthOrder[rank]].Len, 3);
    SendTree(FLiteralTree, FLiteralDesc.LargestUsed);
    SendTree(FDistanceTree, FDistanceDesc.LargestUsed);
}

void TBlockCoder::CompressBlock(const TDeflateCode* LiteralCodes,
                                const TDeflateCode* DistanceCodes) {
    // One table of whole codes per kind of symbol: row 0 the literals, row 1 the lengths with
    // their extra bits (one entry per length - 3). The flag bit picks the row, so the loop below
    // codes literals and matches alike, without a branch on which it has.
    uint32_t symbolBits[2][256];
    uint8_t symbolBitCount[2][256];
    for (int l = 0; l < 256; ++l) {
        symbolBits[0][l] = LiteralCodes[l].Code;
        symbolBitCount[0][l] = static_cast<uint8_t>(LiteralCodes[l].Length);
        const int code = FTables.LengthCode[l];
        const TDeflateCode& c = LiteralCodes[kLiteralCount + 1 + code];
        const int extra = kLengthExtraBits[code];
        // Length 258 has a code of its own and no extra bits, though it is not its code's base.
        const uint32_t extraValue =
            extra != 0 ? static_cast<uint32_t>(l - FTables.BaseLength[code]) : 0;
        symbolBits[1][l] = c.Code | (extraValue << c.Length);
        symbolBitCount[1][l] = static_cast<uint8_t>(c.Length + extra);
    }

    const uint8_t* const literals = FLiterals;
    const uint16_t* const distances = FDistances;
    const uint8_t* const flagBits = FFlagBits;
    const TDeflateStaticTables& tables = FTables;
    uint32_t distanceIndex = 0;
    uint32_t flags = 0;
    FOut.PutEach(FSymbolCount, [&](uint32_t N) {
        if ((N & 7) == 0) flags = flagBits[N >> 3];
        const uint32_t isMatch = flags & 1;
        flags >>= 1;
        const uint32_t value = literals[N];
        const uint32_t count = symbolBitCount[isMatch][value];
        const uint64_t bits = symbolBits[isMatch][value];
        // A literal reads the next distance too (an old one, or the buffer's zeros, when none
        // follows) and then sends none of its bits. The distance code is looked up without a
        // branch, which a literal's stale distance would make unpredictable.
        const uint32_t distance = distances[distanceIndex];
        distanceIndex += isMatch;
        const uint32_t far = uint32_t{0} - static_cast<uint32_t>(distance >= 256);
        const int code = tables.DistanceCode[(distance & ~far) | ((256 + (distance >> 7)) & far)];
        const TDeflateCode& c = DistanceCodes[code];
        const uint64_t keep = uint64_t{0} - isMatch;
        const uint64_t distanceBits =
            (c.Code | (static_cast<uint64_t>(distance - tables.BaseDistance[code]) << c.Length)) &
            keep;
        const uint32_t distanceCount =
            static_cast<uint32_t>((c.Length + kDistanceExtraBits[code]) & keep);
        return std::pair<uint64_t, uint32_t>{bits | (distanceBits << count), count + distanceCount};
    });
    FOut.PutBits(LiteralCodes[kEndOfBlock].Code, LiteralCodes[kEndOfBlock].Length);
}

uint64_t TBlockCoder::EmitBlock(const uint8_t* Input, uint32_t StoredLength, bool Last) {
    FFlagBits[FFlagCount] = FFlagByte;
    if (FEntry.InternalAttributes == 2) DetectTextData();

    BuildHuffmanTree(FLiteralDesc, FScratch, FCosts);
    BuildHuffmanTree(FDistanceDesc, FScratch, FCosts);
    const int bitLengthCodes = BuildBitLengthTree();

    const uint64_t dynamicBytes = static_cast<uint64_t>(FCosts.Dynamic + 3 + 7) >> 3;
    const uint64_t fixedBytes = static_cast<uint64_t>(FCosts.Fixed + 3 + 7) >> 3;
    const uint64_t best = fixedBytes <= dynamicBytes ? fixedBytes : dynamicBytes;

    if (StoredLength <= best && Last && FCompressedBits == 0 && Input) {
        // The file does not compress: its data is the file itself.
        FOut.CopyRawBlock(Input, StoredLength, false);
        FCompressedBits = static_cast<uint64_t>(StoredLength) << 3;
        FEntry.Method = 0;
        FWrittenRaw = true;
    } else if (StoredLength + 4 <= best && Input && StoredLength <= 0xFFFF) {
        // A stored block's length field has 16 bits; a longer block is coded instead.
        FOut.PutBits(BlockHeader(TBlockType::Stored, Last), kBlockHeaderBits);
        FCompressedBits = ((FCompressedBits + 3 + 7) & ~uint64_t{7}) +
                          (static_cast<uint64_t>(StoredLength) + 4) * 8;
        FOut.CopyRawBlock(Input, StoredLength, true);
    } else if (fixedBytes == best) {
        FOut.PutBits(BlockHeader(TBlockType::Fixed, Last), kBlockHeaderBits);
        CompressBlock(FTables.FixedLiteralCodes, FTables.FixedDistanceCodes);
        FCompressedBits += 3 + static_cast<uint64_t>(FCosts.Fixed);
    } else {
        FOut.PutBits(BlockHeader(TBlockType::Dynamic, Last), kBlockHeaderBits);
        SendAllTrees(bitLengthCodes);
        TDeflateCode literalCodes[kLiteralLengthSymbols];
        TDeflateCode distanceCodes[kDistanceSymbols];
        for (int n = 0; n < kLiteralLengthSymbols; ++n)
            literalCodes[n] = {FLiteralTree[n].Code, FLiteralTree[n].Len};
        for (int n = 0; n < kDistanceSymbols; ++n)
            distanceCodes[n] = {FDistanceTree[n].Code, FDistanceTree[n].Len};
        CompressBlock(literalCodes, distanceCodes);
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
