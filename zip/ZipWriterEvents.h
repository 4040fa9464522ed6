// The writer's own enumerations and the types of the events it publishes. Events are
// std::function members: an empty one is skipped; answers come back through the by-reference
// parameters.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "zip/format/EndCentral.h"
#include "zip/format/ZipHeaderInfo.h"

namespace qm {

class TZipWriter;

enum TZipAction { zaUpdate, zaReplace, zaFreshen };
enum TUpdateAction { uaReplacing, uaKeeping };
// The writer uses srNoOverwrite and srFileOpenError.
enum TSkipReason { srBadPassword, srNoOverwrite, srFileOpenError, srCreateError };

using TSkippingFile = std::function<void(TZipWriter& Sender, TSkipReason Reason,
                                         const std::string& FName, int FileIndex, bool& Retry)>;

using TStartZipInfo = std::function<void(TZipWriter& Sender, int NumFiles, int64_t TotalBytes,
                                         TEndCentral& EndCentralRecord, bool& StopNow)>;
using TStartZipEvent = std::function<void(TZipWriter& Sender, const std::string& FName,
                                          TZipHeaderInfo& ZipHeader, bool& Skip)>;
using TEndZipFileEvent =
    std::function<void(TZipWriter& Sender, const std::string& FName, int64_t UncompressedSize,
                       int64_t CompressedSize, int64_t CurrentZipSize)>;
using TNoSuchFileEvent = std::function<void(TZipWriter& Sender, const std::string& FName)>;
using TUpdateEvent = std::function<void(TZipWriter& Sender, TUpdateAction UDAction, int FileIndex)>;
using TDisposeEvent = std::function<void(TZipWriter& Sender, const std::string& FName, bool& Skip)>;
using TDeleteEvent = std::function<void(TZipWriter& Sender, const std::string& FName, bool& Skip)>;
using TZipComplete = std::function<void(TZipWriter& Sender, int FileCount)>;
// A file whose size or last-write time changed while it was read: it is stored as read (sizes
// and CRC describe the bytes taken), but that copy may mix old and new content.
using TFileChangedEvent = std::function<void(TZipWriter& Sender, const std::string& FName)>;
// A FIFO, socket or device met by a walk or named explicitly: left out, never opened. It holds
// no data, so this is no failure to read.
using TNotRegularFileEvent = std::function<void(TZipWriter& Sender, const std::string& FName)>;
// The file specifications have been expanded and nothing has been written yet: NumFiles lines
// (files and folder entries) are to be worked on. Abandon ends the run at once; it writes and
// changes nothing and returns 0.
using TFilesFoundEvent = std::function<void(TZipWriter& Sender, int NumFiles, bool& Abandon)>;

}  // namespace qm
