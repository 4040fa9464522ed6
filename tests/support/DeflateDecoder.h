// A small, independent decoder of raw deflate streams for tests: besides the bytes it yields the
// symbols (literals and matches) and the blocks, so tests can check how a stream was built, not
// only what it decodes to. It throws std::runtime_error on any malformed stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

struct TDeflateToken {
    uint16_t Length = 0;    // 0 for a literal, else the match length (3..258)
    uint16_t Distance = 0;  // match distance (1..32768)
    uint8_t Literal = 0;
    bool IsMatch() const { return Length != 0; }
};

struct TDeflateBlock {
    int Type = 0;  // 0 stored, 1 fixed codes, 2 dynamic codes
    bool Last = false;
    size_t FirstToken = 0;   // index into Tokens
    size_t TokenCount = 0;   // symbols of the block, without the end-of-block code
    size_t InputOffset = 0;  // offset of the block's first byte in the decoded output
    size_t StoredLength = 0;
    // Dynamic blocks: the code lengths sent for literal/length and distance symbols.
    std::vector<uint8_t> LiteralLengths;
    std::vector<uint8_t> DistanceLengths;
};

struct TDeflateDecoded {
    std::string Bytes;
    std::vector<TDeflateToken> Tokens;  // stored blocks contribute no tokens
    std::vector<TDeflateBlock> Blocks;
    size_t StreamBytes = 0;  // bytes of the stream used, up to the byte after the last block
};

TDeflateDecoded DecodeDeflate(const std::string& Stream);

}  // namespace qm::test
