// The front half of the compressor: the sliding window, the hash chains and the two main loops.
//
// The window holds 64 KB of input as two halves. Every string of three bytes is hashed (15 bits,
// updated one byte at a time so that the hash only ever depends on the last three bytes fed) and
// pushed onto the chain of its hash value: the head table remembers the newest position with each
// hash, and the link table, indexed by position modulo 32 KB, remembers the position before it. A
// search walks a chain from the newest candidate back, comparing strings, within a budget of
// candidates and never farther back than 32,506 bytes, so that everything it finds is still in the
// window after the next slide. When the position reaches the top of the window, the upper half
// slides down and every stored position drops by 32 KB (positions that fall off become 0, which
// marks "no candidate"; that is also why the string at offset 0 is never a match source).
//
// A search is a chase through memory: each candidate's link must be loaded before the next one is
// known. Each string's entry therefore keeps its first four links, recorded when the string is
// inserted (its predecessor's first three, moved up one place, behind the predecessor itself); a
// search then follows a chain as four interleaved quarters, each candidate leading to the one four
// places on, so four loads are in flight at once and the candidates are still examined one by one
// in chain order.
//
// The greedy loop (levels 1 to 3) takes every match it finds. The lazy loop (levels 4 to 9) holds
// each match back for one byte, and takes the match at the next position instead when that one is
// longer, emitting the held byte as a literal.
#pragma once

#include <cstdint>

#include "zip/deflate/DeflateBuffers.h"
#include "zip/deflate/DeflateIO.h"
#include "zip/deflate/internal/BlockCoder.h"

namespace qm::detail {

struct TLevelParameters {
    uint16_t GoodLength;  // a length to beat this long cuts the search budget to a quarter
    uint16_t LazyLimit;   // lazy: no search after a match this long; greedy: no insertion inside
    uint16_t NiceLength;  // a search stops at a match this long
    uint16_t ChainLimit;  // the most candidates one search examines
};

inline constexpr TLevelParameters kLevelTable[10] = {
    {0, 0, 0, 0},         {4, 4, 8, 4},        {4, 5, 16, 8},     {4, 6, 32, 32},
    {4, 4, 16, 16},       {8, 16, 32, 32},     {8, 16, 128, 128}, {8, 32, 128, 256},
    {32, 128, 258, 1024}, {32, 258, 258, 4096}};

class TMatchFinder {
  public:
    TMatchFinder(TDeflateBuffers& Buffers, TDeflateIO& IO, TBlockCoder& Coder,
                 const TLevelParameters& Level);

    // Compresses the whole file with the greedy or the lazy loop; returns the last EmitBlock's
    // result.
    uint64_t Run(bool Greedy);

  private:
    uint64_t DeflateGreedy();
    uint64_t DeflateLazy();
    void RefillWindow();
    void SlideWindow();
    // Reads into To through the caller's ReadInput; 0 at the end of the file (or a failure).
    uint32_t ReadInput(uint8_t* To, uint32_t Count);
    // Precondition: Candidate is an older position within kMaxDistance of FPosition.
    uint32_t FindLongestMatch(uint32_t Candidate, uint32_t LengthToBeat);
    uint64_t EmitBlock(bool Last) {
        const uint8_t* input = FBlockStart >= 0 ? FWindow + FBlockStart : nullptr;
        return FCoder.EmitBlock(input, static_cast<uint32_t>(FPosition - FBlockStart), Last);
    }
    int64_t BlockInput() const { return static_cast<int64_t>(FPosition) - FBlockStart; }

    uint8_t* FWindow;
    uint16_t* FHeads;
    uint64_t* FLinks;
    TDeflateIO& FIO;
    TBlockCoder& FCoder;
    const TLevelParameters FLevel;

    uint32_t FPosition = 0;
    uint32_t FLookahead = 0;
    int32_t FBlockStart = 0;
    uint32_t FHash = 0;
    uint32_t FMatchStart = 0;
    bool FEndOfInput = false;
};

}  // namespace qm::detail
