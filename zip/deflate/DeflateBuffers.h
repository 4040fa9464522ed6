// The compressor's work buffers: the sliding window, the hash chains and the open block's
// symbols. The archive writer allocates one set before the first file of an
// operation and frees it when the operation ends; every file reuses it, so compressing a file
// allocates nothing.
#pragma once

#include <cstdint>
#include <memory>

namespace qm {

// Two halves of 32 KB: the one being searched and the one being filled.
inline constexpr uint32_t kDeflateWindowSize = 65536;
// A string may start at the last valid byte, and comparing it reads up to 258 bytes past its
// start (the longest match, compared in 8-byte words: see MatchLength.h). Those bytes must exist
// and stay zeros, since they can decide between two candidates of equal valid length. The 62 on
// top is margin: it leaves room for one more of the widest (8-byte) compares past the longest
// match, and makes window and slack together a whole number of 64-byte cache lines. The
// compressor's static_asserts check both.
inline constexpr uint32_t kDeflateWindowSlack = 258 + 62;
// One chain head per value of the 15-bit hash.
inline constexpr uint32_t kDeflateHashSize = 32768;
// One chain entry per position of a half window (positions are taken modulo 32 KB), holding the
// four positions before it on its chain, so that a search can follow a chain as four interleaved
// quarters instead of one load after the other.
inline constexpr uint32_t kDeflateChainSize = 32768;
inline constexpr uint32_t kDeflateLiteralBufferSize = 32768;
inline constexpr uint32_t kDeflateFlagBufferSize = 4096;

class TDeflateBuffers {
  public:
    // Allocates every buffer zero-filled.
    TDeflateBuffers();
    ~TDeflateBuffers();
    TDeflateBuffers(const TDeflateBuffers&) = delete;
    TDeflateBuffers& operator=(const TDeflateBuffers&) = delete;

    uint8_t* Window() { return FWindow.get(); }
    const uint8_t* Window() const { return FWindow.get(); }
    uint16_t* HashHeads() { return FHashHeads.get(); }
    uint64_t* ChainLinks() { return FChainLinks.get(); }
    uint8_t* Literals() { return FLiterals.get(); }
    uint16_t* Distances() { return FDistances.get(); }
    uint8_t* FlagBits() { return FFlagBits.get(); }

  private:
    std::unique_ptr<uint8_t[]> FWindow;  // kDeflateWindowSize + kDeflateWindowSlack bytes
    std::unique_ptr<uint16_t[]> FHashHeads;
    std::unique_ptr<uint64_t[]> FChainLinks;
    std::unique_ptr<uint8_t[]> FLiterals;
    std::unique_ptr<uint16_t[]> FDistances;
    std::unique_ptr<uint8_t[]> FFlagBits;
};

}  // namespace qm
