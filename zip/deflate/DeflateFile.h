// DeflateFile: compresses one source file into the raw deflate data of one archive entry.
//
// The caller (the archive writer) owns everything that outlives one file: the work buffers (one
// set per operation) and the static code tables (one set per writer). The source is read through
// IO.ReadInput from its first byte, and the entry's data goes out through IO.WriteOutput, right
// after the entry's local header. Exceptions raised by either routine pass through unchanged.
#pragma once

#include <cstdint>

#include "platform/Exception.h"
#include "zip/deflate/DeflateBuffers.h"
#include "zip/deflate/DeflateIO.h"
#include "zip/deflate/DeflateTables.h"

namespace qm {

// The three fields of the entry header that compressing a file decides. The caller fills them
// from the entry (InternalAttributes must be 2, "not yet known", for the file to be classified)
// and copies them back afterwards:
// - Flags: OR 4 at levels 1 and 2, OR 2 at levels 8 and 9 (the fast and maximum option bits);
// - Method: becomes 0 (stored) when the whole file was written raw, otherwise left as it was;
// - InternalAttributes: becomes 1 (text) or 0 (binary) from the file's first block when it is 2.
struct TDeflateEntryBits {
    uint16_t Flags = 0;
    uint16_t Method = 8;
    uint16_t InternalAttributes = 2;
};

struct TDeflateResult {
    // Bytes handed to WriteOutput for this entry: its compressed size. 64-bit, so an entry's data
    // has no size limit of its own.
    uint64_t CompressedSize = 0;
    // The file did not compress and its data is the file's bytes as they are (Method is then 0).
    bool WrittenRaw = false;
};

inline constexpr int kMinDeflateLevel = 1;
inline constexpr int kMaxDeflateLevel = 9;

// A pack level DeflateFile cannot use (level 0 means "store", which is the writer's own job).
class EInvalidPackLevel : public Exception {
  public:
    using Exception::Exception;
};

// Raises EInvalidPackLevel, before reading or writing anything, when PackLevel is outside 1..9.
TDeflateResult DeflateFile(int PackLevel, TDeflateBuffers& Buffers, TDeflateStaticTables& Tables,
                           TDeflateIO& IO, TDeflateEntryBits& Entry);

}  // namespace qm
