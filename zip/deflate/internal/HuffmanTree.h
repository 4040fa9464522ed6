// Building length-limited Huffman codes for one block.
//
// The tree is built the classic way: every used symbol enters a min-heap ordered by frequency
// (ties go to the shallower subtree, which keeps codes short), the two least frequent nodes are
// merged until one root is left, and each node's code length is its parent's plus one. Lengths
// above the limit are capped; the repair then moves leaves between lengths until the counts again
// form a complete prefix code, giving the longest codes to the least frequent leaves. Canonical
// codes follow from the counts per length. The cost of coding the block with these codes (and
// with the fixed codes, when the alphabet has them) falls out of the length assignment, so the
// block type is chosen without a trial encoding.
#pragma once

#include <cstdint>

#include "zip/deflate/DeflateTables.h"
#include "zip/deflate/internal/DeflateConstants.h"

namespace qm::detail {

struct TTreeNode {
    uint16_t Freq;  // frequency while building
    uint16_t Code;  // bit-reversed code, once built
    uint16_t Dad;   // parent node while building
    uint16_t Len;   // code length, once built
};

struct TTreeDescriptor {
    TTreeNode* Tree;            // Symbols leaves, then room for the internal nodes
    const TDeflateCode* Fixed;  // the fixed codes of this alphabet, or null
    const uint8_t* ExtraBits;   // extra bits of the symbols from FirstExtra on
    int FirstExtra;
    int Symbols;
    int MaxLength;
    int LargestUsed;  // set by the build; -1 before
};

// The block's coding costs in bits, accumulated while its trees are built.
struct TBlockCosts {
    int64_t Dynamic = 0;
    int64_t Fixed = 0;
};

struct THuffmanScratch {
    int Heap[kHeapSize];
    int HeapLength;
    int HeapMax;  // start of the sorted area, which fills from the top down
    uint8_t Depth[kHeapSize];
    uint32_t Key[kHeapSize];  // the heap's sort key of each node (see HuffmanTree.cpp)
    uint16_t LengthCount[kMaxBits + 1];
};

// Builds the code lengths and codes of Descriptor's tree from its leaves' frequencies and adds
// their costs to Costs.
void BuildHuffmanTree(TTreeDescriptor& Descriptor, THuffmanScratch& Scratch, TBlockCosts& Costs);

// Assigns canonical codes, stored bit-reversed, to symbols 0..LargestUsed from their lengths.
void GenerateCodes(TTreeNode* Tree, int LargestUsed, const uint16_t* LengthCount);

}  // namespace qm::detail
