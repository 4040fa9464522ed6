#include "zip/deflate/internal/HuffmanTree.h"

namespace qm::detail {

namespace {

// Whether node N comes before node M in the heap: lower frequency, or equal frequency and a
// subtree no deeper.
inline bool Before(const TTreeNode* Tree, const uint8_t* Depth, int N, int M) {
    return Tree[N].Freq < Tree[M].Freq || (Tree[N].Freq == Tree[M].Freq && Depth[N] <= Depth[M]);
}

void SiftDown(const TTreeNode* Tree, THuffmanScratch& S, int K) {
    const int v = S.Heap[K];
    int j = K << 1;
    while (j <= S.HeapLength) {
        if (j < S.HeapLength && Before(Tree, S.Depth, S.Heap[j + 1], S.Heap[j])) ++j;
        if (Before(Tree, S.Depth, v, S.Heap[j])) break;
        S.Heap[K] = S.Heap[j];
        K = j;
        j <<= 1;
    }
    S.Heap[K] = v;
}

// Code lengths from the sorted area, capped at the descriptor's maximum and repaired after a cap.
void AssignLengths(TTreeDescriptor& D, THuffmanScratch& S, TBlockCosts& Costs) {
    TTreeNode* tree = D.Tree;
    const int maxLength = D.MaxLength;
    for (int bits = 0; bits <= kMaxBits; ++bits) S.LengthCount[bits] = 0;

    tree[S.Heap[S.HeapMax]].Len = 0;  // the root
    int overflow = 0;
    int h = S.HeapMax + 1;
    for (; h < kHeapSize; ++h) {
        const int n = S.Heap[h];
        int bits = tree[tree[n].Dad].Len + 1;
        if (bits > maxLength) {
            bits = maxLength;
            ++overflow;
        }
        tree[n].Len = static_cast<uint16_t>(bits);
        if (n > D.LargestUsed) continue;  // an internal node
        ++S.LengthCount[bits];
        const int extra = n >= D.FirstExtra ? D.ExtraBits[n - D.FirstExtra] : 0;
        const int64_t f = tree[n].Freq;
        Costs.Dynamic += f * (bits + extra);
        if (D.Fixed) Costs.Fixed += f * (D.Fixed[n].Length + extra);
    }
    if (overflow == 0) return;

    // Each step turns one leaf of some shorter length into an internal node with two leaves one
    // level deeper, which makes room for two of the capped leaves.
    do {
        int bits = maxLength - 1;
        while (S.LengthCount[bits] == 0) --bits;
        --S.LengthCount[bits];
        S.LengthCount[bits + 1] += 2;
        --S.LengthCount[maxLength];
        overflow -= 2;
    } while (overflow > 0);

    // Hand out the lengths again, longest first to the least frequent leaves.
    for (int bits = maxLength; bits != 0; --bits) {
        int n = S.LengthCount[bits];
        while (n != 0) {
            const int m = S.Heap[--h];
            if (m > D.LargestUsed) continue;
            if (tree[m].Len != bits) {
                Costs.Dynamic += (static_cast<int64_t>(bits) - tree[m].Len) * tree[m].Freq;
                tree[m].Len = static_cast<uint16_t>(bits);
            }
            --n;
        }
    }
}

}  // namespace

void GenerateCodes(TTreeNode* Tree, int LargestUsed, const uint16_t* LengthCount) {
    uint32_t nextCode[kMaxBits + 1];
    uint32_t code = 0;
    nextCode[0] = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + LengthCount[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    for (int n = 0; n <= LargestUsed; ++n) {
        const int len = Tree[n].Len;
        if (len == 0) continue;
        Tree[n].Code = static_cast<uint16_t>(ReverseBits(nextCode[len]++, len));
    }
}

void BuildHuffmanTree(TTreeDescriptor& D, THuffmanScratch& S, TBlockCosts& Costs) {
    TTreeNode* tree = D.Tree;
    int largestUsed = -1;
    S.HeapLength = 0;
    S.HeapMax = kHeapSize;

    for (int n = 0; n < D.Symbols; ++n) {
        if (tree[n].Freq != 0) {
            S.Heap[++S.HeapLength] = largestUsed = n;
            S.Depth[n] = 0;
        } else {
            tree[n].Len = 0;
        }
    }

    // A valid code needs two symbols: add unused ones at frequency 1, taking back their cost,
    // which the length assignment will add.
    while (S.HeapLength < 2) {
        const int node = largestUsed < 2 ? ++largestUsed : 0;
        S.Heap[++S.HeapLength] = node;
        tree[node].Freq = 1;
        S.Depth[node] = 0;
        Costs.Dynamic -= 1;
        if (D.Fixed) Costs.Fixed -= D.Fixed[node].Length;
    }
    D.LargestUsed = largestUsed;

    for (int n = S.HeapLength / 2; n >= 1; --n) SiftDown(tree, S, n);

    int node = D.Symbols;
    do {
        const int n = S.Heap[1];
        S.Heap[1] = S.Heap[S.HeapLength--];
        SiftDown(tree, S, 1);
        const int m = S.Heap[1];
        S.Heap[--S.HeapMax] = n;
        S.Heap[--S.HeapMax] = m;
        tree[node].Freq = static_cast<uint16_t>(tree[n].Freq + tree[m].Freq);
        S.Depth[node] =
            static_cast<uint8_t>((S.Depth[n] >= S.Depth[m] ? S.Depth[n] : S.Depth[m]) + 1);
        tree[n].Dad = tree[m].Dad = static_cast<uint16_t>(node);
        S.Heap[1] = node++;
        SiftDown(tree, S, 1);
    } while (S.HeapLength >= 2);
    S.Heap[--S.HeapMax] = S.Heap[1];

    AssignLengths(D, S, Costs);
    GenerateCodes(tree, largestUsed, S.LengthCount);
}

}  // namespace qm::detail
