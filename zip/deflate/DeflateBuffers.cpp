#include "zip/deflate/DeflateBuffers.h"

namespace qm {

TDeflateBuffers::TDeflateBuffers()
    : FWindow(new uint8_t[kDeflateWindowSize + kDeflateWindowSlack]()),
      FHashHeads(new uint16_t[kDeflateHashSize]()),
      FChainLinks(new uint64_t[kDeflateChainSize]()),
      FLiterals(new uint8_t[kDeflateLiteralBufferSize]()),
      FDistances(new uint16_t[kDeflateLiteralBufferSize]()),
      FFlagBits(new uint8_t[kDeflateFlagBufferSize]()) {}

TDeflateBuffers::~TDeflateBuffers() = default;

}  // namespace qm
