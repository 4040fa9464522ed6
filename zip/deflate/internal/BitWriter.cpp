#include "zip/deflate/internal/BitWriter.h"

namespace qm::detail {

void TBitWriter::HandOverPiece() {
    FIO.WriteOutput(FBuffer, kOutputPiece);
    FFill -= kOutputPiece;
    std::memmove(FBuffer, FBuffer + kOutputPiece, FFill);
}

void TBitWriter::HandOverAll() {
    while (FFill >= kOutputPiece) HandOverPiece();
    if (FFill != 0) {
        FIO.WriteOutput(FBuffer, FFill);
        FFill = 0;
    }
}

void TBitWriter::AlignToByte() {
    if (FCount > 0) FBuffer[FFill++] = static_cast<uint8_t>(FBits);
    FBits = 0;
    FCount = 0;
    HandOverAll();
}

void TBitWriter::CopyRawBlock(const uint8_t* Input, uint32_t Length, bool Header) {
    QM_ASSERT(!Header || Length <= 0xFFFF);  // a stored block's length field has 16 bits
    AlignToByte();
    if (Header) {
        const uint16_t stored = static_cast<uint16_t>(Length);
        const uint16_t complement = static_cast<uint16_t>(~stored);
        FBuffer[0] = static_cast<uint8_t>(stored);
        FBuffer[1] = static_cast<uint8_t>(stored >> 8);
        FBuffer[2] = static_cast<uint8_t>(complement);
        FBuffer[3] = static_cast<uint8_t>(complement >> 8);
        FIO.WriteOutput(FBuffer, 4);
    }
    // Handed over even when empty: an empty entry still gives the writer one hand-over.
    FIO.WriteOutput(Input, Length);
}

}  // namespace qm::detail
