// The two routines through which the compressor reaches the outside world. The archive writer
// implements them (its forms update the entry's CRC, count bytes, fire progress events and honour
// cancellation); tests implement them over memory and files. The compressor knows nothing else
// about its caller.
#pragma once

#include <cstdint>

namespace qm {

// What ReadInput returns, in its low 16 bits, when the source cannot be read: the 16-bit form of
// -1. The compressor takes it, like 0, as the end of the file, and so never asks for this many
// bytes in one read (a full read could not be told from a failure).
inline constexpr uint32_t kReadInputFailed = 0xFFFF;

class TDeflateIO {
  public:
    virtual ~TDeflateIO() = default;

    // Delivers up to Count bytes of the current source file into Buffer and returns how many it
    // delivered; 0 means the file is exhausted. Every read must deliver all Count bytes unless the
    // file ends there: only the last read of a file comes back short. The moments at which the
    // window slides, and so the output bytes, depend on that.
    //
    // Only the low 16 bits of the result count. kReadInputFailed there ends the file as 0 does,
    // and Count is always below kReadInputFailed. A result above Count is taken as Count.
    virtual uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) = 0;

    // Hands Count bytes of the entry's data to the archive. Count may be 0 (an empty entry still
    // hands over one block, which gives the writer a chance to notice a cancellation). A short
    // write or a cancellation is raised as an exception, never returned.
    virtual void WriteOutput(const uint8_t* Buffer, uint32_t Count) = 0;
};

}  // namespace qm
