// Whole-file helpers of the writer: copying a file's content and the volume labels of
// multi-volume output.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

// Copies the whole content of Source into Dest (created, or replaced), and returns the bytes
// copied. When nothing was copied (an empty source too) it shows the message box "Error" /
// "Could not copy from <Source> -> <Dest>" with an OK button and returns 0. A source that cannot
// be opened or a destination that cannot be created raises the stream's EFOpenError /
// EFCreateError; a write that falls short or a close that fails raises EWriteError, so that a
// short copy is never taken for a complete one.
int64_t CopyFileContents(const std::string& Source, const std::string& Dest);

// Linux file systems have no volume labels: reading gives the empty text, writing does nothing
// and reports failure.
std::string ReadVolumeLabel(const std::string& Root);
bool WriteVolumeLabel(const std::string& Root, const std::string& Label);

}  // namespace qm
