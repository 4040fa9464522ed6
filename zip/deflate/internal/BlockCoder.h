// The back half of the compressor: it collects the open block's literals and matches, decides
// when the block ends, and writes each finished block in the cheapest of its forms (the whole
// file raw, a stored block, the fixed codes or the block's own codes).
//
// A block's symbols live in three flat buffers: one byte per symbol (the literal, or the match
// length - 3), one 16-bit distance - 1 per match, and one flag bit per symbol telling the two
// apart. The frequencies are counted as symbols arrive, so the trees and both costs are ready as
// soon as the block ends.
#pragma once

#include <cstdint>

#include "platform/Assert.h"
#include "zip/deflate/DeflateBuffers.h"
#include "zip/deflate/DeflateFile.h"
#include "zip/deflate/DeflateTables.h"
#include "zip/deflate/internal/BitWriter.h"
#include "zip/deflate/internal/DeflateConstants.h"
#include "zip/deflate/internal/HuffmanTree.h"

namespace qm::detail {

class TBlockCoder {
  public:
    // Prepares the coder for one file: builds the static tables if the writer has none yet, and
    // starts with an empty bit writer, no output and an empty block.
    TBlockCoder(TDeflateBuffers& Buffers, TDeflateStaticTables& Tables, TDeflateIO& IO,
                int PackLevel, TDeflateEntryBits& Entry);

    // Records one literal. InputLength is the input the open block covers so far (current
    // position - block start), used only by the early end test. Returns whether the block must
    // end now.
    bool RecordLiteral(uint32_t Byte, int64_t InputLength) {
        QM_ASSERT(Byte < kLiteralCount && FSymbolCount < kMaxBlockSymbols);
        FLiterals[FSymbolCount++] = static_cast<uint8_t>(Byte);
        ++FLiteralTree[Byte].Freq;
        return AfterSymbol(InputLength);
    }

    // Records a match of Distance (1..32,506) and Length - 3 (0..255).
    bool RecordMatch(uint32_t Distance, uint32_t LengthMinus3, int64_t InputLength) {
        QM_ASSERT(Distance >= 1 && Distance <= kMaxDistance);
        QM_ASSERT(LengthMinus3 <= kMaxMatch - kMinMatch && FSymbolCount < kMaxBlockSymbols);
        FLiterals[FSymbolCount++] = static_cast<uint8_t>(LengthMinus3);
        const uint32_t distanceMinus1 = Distance - 1;
        ++FLiteralTree[kLiteralCount + 1 + FTables.LengthCode[LengthMinus3]].Freq;
        ++FDistanceTree[FTables.DistanceCodeOf(distanceMinus1)].Freq;
        FDistances[FMatchCount++] = static_cast<uint16_t>(distanceMinus1);
        FFlagByte |= FFlagBit;
        return AfterSymbol(InputLength);
    }

    // Writes the open block. Input is the block's bytes in the window, or null when they have
    // slid out; StoredLength is their count. Returns the bytes written for the entry so far
    // (after the last block: all of them).
    uint64_t EmitBlock(const uint8_t* Input, uint32_t StoredLength, bool Last);

    bool WrittenRaw() const { return FWrittenRaw; }

  private:
    bool AfterSymbol(int64_t InputLength) {
        FFlagBit = static_cast<uint8_t>(FFlagBit << 1);
        if ((FSymbolCount & 7) == 0) {
            FFlagBits[FFlagCount++] = FFlagByte;
            FFlagByte = 0;
            FFlagBit = 1;
            if ((FSymbolCount & (kEarlyEndStep - 1)) == 0) [[unlikely]]
                return EarlyEnd(InputLength);
        }
        return FSymbolCount == kMaxBlockSymbols;
    }
    bool EarlyEnd(int64_t InputLength) const;
    void ResetBlock();
    void DetectTextData();
    int BuildBitLengthTree();
    void ScanTree(const TTreeNode* Tree, int LargestUsed);
    void SendTree(const TTreeNode* Tree, int LargestUsed);
    void SendAllTrees(int BitLengthCodes);
    void CompressBlock(const TDeflateCode* LiteralCodes, const TDeflateCode* DistanceCodes);

    const TDeflateStaticTables& FTables;
    TDeflateEntryBits& FEntry;
    uint8_t* FWindow;
    uint8_t* FLiterals;
    uint16_t* FDistances;
    uint8_t* FFlagBits;
    const int FPackLevel;

    uint32_t FSymbolCount = 0;
    uint32_t FMatchCount = 0;
    uint32_t FFlagCount = 0;
    uint8_t FFlagByte = 0;
    uint8_t FFlagBit = 1;

    TTreeNode FLiteralTree[kHeapSize];
    TTreeNode FDistanceTree[2 * kDistanceSymbols + 1];
    TTreeNode FBitLengthTree[2 * kBitLengthSymbols + 1];
    TTreeDescriptor FLiteralDesc;
    TTreeDescriptor FDistanceDesc;
    TTreeDescriptor FBitLengthDesc;
    THuffmanScratch FScratch;
    TBlockCosts FCosts;

    uint64_t FCompressedBits = 0;
    bool FWrittenRaw = false;
    TBitWriter FOut;
};

}  // namespace qm::detail
