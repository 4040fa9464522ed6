#include "zip/deflate/internal/HuffmanTree.h"

namespace qm::detail {

namespace {

// The heap's order: lower frequency first, and at equal frequency the subtree no deeper. Both in
// one number, frequency above depth, so that "N comes before M" is Key[N] <= Key[M].
inline uint32_t HeapKey(const TTreeNode* Tree, const uint8_t* Depth, int N) {
    return (static_cast<uint32_t>(Tree[N].Freq) << 8) | Depth[N];
}

void SiftDown(THuffmanScratch& S, int K) {
    int* const heap = S.Heap;
    const uint32_t* const key = S.Key;
    const int length = S.HeapLength;
    const int v = heap[K];
    const uint32_t vKey = key[v];
    int j = K << 1;
    while (j <= length) {
        uint32_t jKey = key[heap[j]];
        if (j < length) {
            const uint32_t rightKey = key[heap[j + 1]];
            if (rightKey <= jKey) {
                ++j;
                jKey = rightKey;
            }
        }
        if (vKey <= jKey) break;
        heap[K] = heap[j];
        K = j;
        j <<= 1;
    }
    heap[K] = v;
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
            S.Key[n] = HeapKey(tree, S.Depth, n);
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
        S.Key[node] = HeapKey(tree, S.Depth, node);
        Costs.Dynamic -= 1;
        if (D.Fixed) Costs.Fixed -= D.Fixed[node].Length;
    }
    D.LargestUsed = largestUsed;

    for (int n = S.HeapLength / 2; n >= 1; --n) SiftDown(S, n);

    int node = D.Symbols;
    do {
        const int n = S.Heap[1];
        S.Heap[1] = S.Heap[S.HeapLength--];
        SiftDown(S, 1);
        const int m = S.Heap[1];
        S.Heap[--S.HeapMax] = n;
        S.Heap[--S.HeapMax] = m;
        tree[node].Freq = static_cast<uint16_t>(tree[n].Freq + tree[m].Freq);
        S.Depth[node] =
            static_cast<uint8_t>((S.Depth[n] >= S.Depth[m] ? S.Depth[n] : S.Depth[m]) + 1);
        tree[n].Dad = tree[m].Dad = static_cast<uint16_t>(node);
        S.Key[node] = HeapKey(tree, S.Depth, node);
        S.Heap[1] = node++;
        SiftDown(S, 1);
    } while (S.HeapLength >= 2);
    S.Heap[--S.HeapMax] = S.Heap[1];

    AssignLengths(D, S, Costs);
    GenerateCodes(tree, largestUsed, S.LengthCount);
}

}  // namespace qm::detail
