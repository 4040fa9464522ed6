// The abstract stream: virtual read, write and seek; position and size are derived from seek.
// Counts of one call are 32-bit as in the records that use them; positions are 64-bit so that
// archives and files beyond 4 GiB are addressed exactly.
#pragma once

#include <cstdint>

namespace qm {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
  public:
    virtual ~TStream() = default;

    // Returns the bytes delivered; fewer than Count only at the end of the data.
    virtual int32_t Read(void* Buffer, int32_t Count) = 0;
    // Returns the bytes accepted; fewer than Count when the medium refused the rest.
    virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
    // Origin 0 from the beginning, 1 from the current position, 2 from the end.
    virtual int64_t Seek(int64_t Offset, int Origin) = 0;
    // Cuts or extends the stream at NewSize.
    virtual void SetSize(int64_t NewSize);

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
    // Remembers the position, seeks to the end and back.
    int64_t Size();

    // Whole-count forms: raise EReadError "Stream read error" / EWriteError "Stream write error".
    void ReadBuffer(void* Buffer, int32_t Count);
    void WriteBuffer(const void* Buffer, int32_t Count);
    // Copies Count bytes (all remaining when Count is 0) from Source; returns the bytes copied.
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

}  // namespace qm
