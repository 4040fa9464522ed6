#include "zip/deflate/DeflateFile.h"

#include "zip/deflate/internal/BlockCoder.h"
#include "zip/deflate/internal/MatchFinder.h"

namespace qm {

TDeflateResult DeflateFile(int PackLevel, TDeflateBuffers& Buffers, TDeflateStaticTables& Tables,
                           TDeflateIO& IO, TDeflateEntryBits& Entry) {
    if (PackLevel < kMinDeflateLevel || PackLevel > kMaxDeflateLevel)
        throw EInvalidPackLevel(
            FormatMessage("Compression level %d is out of range: it must be 1 to 9", PackLevel));

    detail::TBlockCoder coder(Buffers, Tables, IO, PackLevel, Entry);
    // The fast and maximum compression option bits of method 8.
    if (PackLevel <= 2) Entry.Flags |= 4;
    if (PackLevel >= 8) Entry.Flags |= 2;
    detail::TMatchFinder finder(Buffers, IO, coder, detail::kLevelTable[PackLevel]);

    TDeflateResult result;
    result.CompressedSize = finder.Run(PackLevel <= 3);
    result.WrittenRaw = coder.WrittenRaw();
    return result;
}

}  // namespace qm
