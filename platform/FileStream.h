// Streams over operating-system files (POSIX descriptors).
#pragma once

#include <string>

#include "platform/Stream.h"

namespace qm {

// Open modes: the low two bits choose the access. The share bits are accepted and ignored: POSIX
// has no share modes, and a back-up must read the files that other programs keep open.
inline constexpr unsigned fmOpenRead = 0x0000;
inline constexpr unsigned fmOpenWrite = 0x0001;
inline constexpr unsigned fmOpenReadWrite = 0x0002;
inline constexpr unsigned fmShareCompat = 0x0000;
inline constexpr unsigned fmShareExclusive = 0x0010;
inline constexpr unsigned fmShareDenyWrite = 0x0020;
inline constexpr unsigned fmShareDenyRead = 0x0030;
inline constexpr unsigned fmShareDenyNone = 0x0040;
// Creates the file, or truncates it when it exists; read and write access.
inline constexpr unsigned fmCreate = 0xFFFF;
// With an open mode: a symbolic link is refused (ELOOP) instead of followed. A back-up opens its
// sources this way, so that a link planted between a look and the open cannot lead it elsewhere.
inline constexpr unsigned fmNoFollow = 0x10000;

// A stream over a descriptor it does not own.
class THandleStream : public TStream {
  public:
    explicit THandleStream(int Handle) : FHandle(Handle) {}

    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;
    void SetSize(int64_t NewSize) override;

    int Handle() const { return FHandle; }
    // Commits the file's data to the medium (fdatasync); false when the system refuses.
    bool Commit();
    // The errno of the last write, commit or close that failed; 0 when none has, and also when a
    // write came short without an error (the medium took what it could).
    int LastError() const { return FLastError; }

  protected:
    int FHandle;
    int FLastError = 0;
};

// A stream over a file it opens by name and closes on destruction.
//
// Only regular files can be opened for reading: a FIFO, socket or device raises EFOpenError
// rather than block the caller. A file that another process has open, even for writing, opens
// like any other: nothing is leased or locked. Paths of any length are accepted (PathAt.h).
class TFileStream : public THandleStream {
  public:
    TFileStream(const std::string& FileName, unsigned Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    const std::string& FileName() const { return FFileName; }
    // Closes the descriptor now; false when the system reports an error (a delayed write
    // failure). Later calls do nothing and return true.
    bool Close();

  private:
    std::string FFileName;
};

}  // namespace qm
