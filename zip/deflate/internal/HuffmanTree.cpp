#include "zip/deflate/internal/HuffmanTree.h"

namespace qm::detail {

namespace {

// Whether node N comes before node M in the heap: lower frequency, or equal frequency and a
// subtree no deeper.
inline bool Before(const TTreeNode* Tree, const uint8_t* Depth, int N, int M) {
    return Tree[N].Freq < Tree[M].Freq || (Tree[N].Freq == Tree[M].Freq && Depth[N] <= Depth[M]);
}

void SiftDown(const TTreeNode* Tree, THuffmanScratch& S, int K) {
    const int V = S.Heap[K];
    int J = K << 1;
    while (J <= S.HeapLength) {
        if (J < S.HeapLength && Before(Tree, S.Depth, S.Heap[J + 1], S.Heap[J])) ++J;
        if (Before(Tree, S.Depth, V, S.Heap[J])) break;
        S.Heap[K] = S.Heap[J];
        K = J;
        J <<= 1;
    }
    S.Heap[K] = V;
}

// Code lengths from the sorted area, capped at the descriptor's maximum and repaired after a cap.
void AssignLengths(TTreeDescriptor& D, THuffmanScratch& S, TBlockCosts& Costs) {
    TTreeNode* Tree = D.Tree;
    const int MaxLength = D.MaxLength;
    for (int Bits = 0; Bits <= kMaxBits; ++Bits) S.LengthCount[Bits] = 0;

    Tree[S.Heap[S.HeapMax]].Len = 0;  // the root
    int Overflow = 0;
    int H = S.HeapMax + 1;
    for (; H < kHeapSize; ++H) {
        const int N = S.Heap[H];
        int Bits = Tree[Tree[N].Dad].Len + 1;
        if (Bits > MaxLength) {
            Bits = MaxLength;
            ++Overflow;
        }
        Tree[N].Len = static_cast<uint16_t>(Bits);
        if (N > D.LargestUsed) continue;  // an internal node
        ++S.LengthCount[Bits];
        const int Extra = N >= D.FirstExtra ? D.ExtraBits[N - D.FirstExtra] : 0;
        const int64_t F = Tree[N].Freq;
        Costs.Dynamic += F * (Bits + Extra);
        if (D.Fixed) Costs.Fixed += F * (D.Fixed[N].Length + Extra);
    }
    if (Overflow == 0) return;

    // Each step turns one leaf of some shorter length into an internal node with two leaves one
    // level deeper, which makes room for two of the capped leaves.
    do {
        int Bits = MaxLength - 1;
        while (S.LengthCount[Bits] == 0) --Bits;
        --S.LengthCount[Bits];
        S.LengthCount[Bits + 1] += 2;
        --S.LengthCount[MaxLength];
        Overflow -= 2;
    } while (Overflow > 0);

    // Hand out the lengths again, longest first to the least frequent leaves.
    for (int Bits = MaxLength; Bits != 0; --Bits) {
        int N = S.LengthCount[Bits];
        while (N != 0) {
            const int M = S.Heap[--H];
            if (M > D.LargestUsed) continue;
            if (Tree[M].Len != Bits) {
                Costs.Dynamic += (static_cast<int64_t>(Bits) - Tree[M].Len) * Tree[M].Freq;
                Tree[M].Len = static_cast<uint16_t>(Bits);
            }
            --N;
        }
    }
}

}  // namespace

void GenerateCodes(TTreeNode* Tree, int LargestUsed, const uint16_t* LengthCount) {
    uint32_t NextCode[kMaxBits + 1];
    uint32_t Code = 0;
    NextCode[0] = 0;
    for (int Bits = 1; Bits <= kMaxBits; ++Bits) {
        Code = (Code + LengthCount[Bits - 1]) << 1;
        NextCode[Bits] = Code;
    }
    for (int N = 0; N <= LargestUsed; ++N) {
        const int Len = Tree[N].Len;
        if (Len == 0) continue;
        Tree[N].Code = static_cast<uint16_t>(ReverseBits(NextCode[Len]++, Len));
    }
}

void BuildHuffmanTree(TTreeDescriptor& D, THuffmanScratch& S, TBlockCosts& Costs) {
    TTreeNode* Tree = D.Tree;
    int LargestUsed = -1;
    S.HeapLength = 0;
    S.HeapMax = kHeapSize;

    for (int N = 0; N < D.Symbols; ++N) {
        if (Tree[N].Freq != 0) {
            S.Heap[++S.HeapLength] = LargestUsed = N;
            S.Depth[N] = 0;
        } else {
            Tree[N].Len = 0;
        }
    }

    // A valid code needs two symbols: add unused ones at frequency 1, taking back their cost,
    // which the length assignment will add.
    while (S.HeapLength < 2) {
        const int Node = LargestUsed < 2 ? ++LargestUsed : 0;
        S.Heap[++S.HeapLength] = Node;
        Tree[Node].Freq = 1;
        S.Depth[Node] = 0;
        Costs.Dynamic -= 1;
        if (D.Fixed) Costs.Fixed -= D.Fixed[Node].Length;
    }
    D.LargestUsed = LargestUsed;

    for (int N = S.HeapLength / 2; N >= 1; --N) SiftDown(Tree, S, N);

    int Node = D.Symbols;
    do {
        const int N = S.Heap[1];
        S.Heap[1] = S.Heap[S.HeapLength--];
        SiftDown(Tree, S, 1);
        const int M = S.Heap[1];
        S.Heap[--S.HeapMax] = N;
        S.Heap[--S.HeapMax] = M;
        Tree[Node].Freq = static_cast<uint16_t>(Tree[N].Freq + Tree[M].Freq);
        S.Depth[Node] =
            static_cast<uint8_t>((S.Depth[N] >= S.Depth[M] ? S.Depth[N] : S.Depth[M]) + 1);
        Tree[N].Dad = Tree[M].Dad = static_cast<uint16_t>(Node);
        S.Heap[1] = Node++;
        SiftDown(Tree, S, 1);
    } while (S.HeapLength >= 2);
    S.Heap[--S.HeapMax] = S.Heap[1];

    AssignLengths(D, S, Costs);
    GenerateCodes(Tree, LargestUsed, S.LengthCount);
}

}  // namespace qm::detail
