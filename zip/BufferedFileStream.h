// The buffered stream over a file it opens and owns: every archive, source file and staging
// file goes through one of these.
#pragma once

#include <string>

#include "platform/FileStream.h"
#include "zip/BufferStream.h"

namespace qm {

namespace detail {
// Holds the file so that it is constructed before, and destroyed after, the buffered stream.
struct TOwnedFile {
    TOwnedFile(const std::string& FileName, unsigned Mode) : FFile(FileName, Mode) {}
    TFileStream FFile;
};
}  // namespace detail

class TBufferedFileStream : private detail::TOwnedFile, public TBufferStream {
  public:
    // FlushOnClose commits the file's buffers when a stream opened with write access (which
    // includes fmCreate) has been written and is finished.
    TBufferedFileStream(const std::string& FileName, unsigned Mode, bool FlushOnClose = false);
    ~TBufferedFileStream() override;

    int Handle() const { return FFile.Handle(); }
    const std::string& FileName() const { return FFile.FileName(); }
    void SetSize(int64_t NewSize) override;

    // Writes what is pending, commits when asked to, and closes the file. False when any of
    // those failed: the file may be short.
    bool Close();
};

}  // namespace qm
