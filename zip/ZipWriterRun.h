// One run of the writer: everything it opens (the source file, the output and its volumes, the
// staging file) and builds (lists, the new end record, work buffers), owned in one place. The
// run lives on RunOperation's stack; leaving it in any way releases what it holds, and a run
// that was not marked done removes what it wrote. Private to the writer's sources.
#pragma once

#include <sys/types.h>

#include <ctime>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/MemoryStream.h"
#include "platform/RunLock.h"
#include "platform/Stream.h"
#include "zip/BufferStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/CompressAhead.h"
#include "zip/LineList.h"
#include "zip/ZipWriter.h"
#include "zip/format/EndCentral.h"
#include "zip/format/SortedZip.h"

namespace qm {

// Between the buffered output and the file: turns any write the medium takes short into an
// error that keeps its cause (RaiseWriteFailure), wherever it happens (data, headers, a flush
// behind a seek, the final flush). Disarmed while a failed run drops its output, so that tearing
// down never raises.
class TZipWriter::TGuardStream : public TStream {
  public:
    // Name is the archive as its user knows it (the output may be a temporary file).
    TGuardStream(TStream& Stream, std::string Name) : FStream(Stream), FName(std::move(Name)) {}
    int32_t Read(void* Buffer, int32_t Count) override { return FStream.Read(Buffer, Count); }
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override { return FStream.Seek(Offset, Origin); }
    void SetSize(int64_t NewSize) override { FStream.SetSize(NewSize); }

    bool Armed = true;
    bool Failed = false;

  private:
    TStream& FStream;
    std::string FName;
};

// The error for an output that could not be written: "Not enough room to write archive" when
// the medium is full (Error ENOSPC, EDQUOT, EFBIG, or 0 for a short write without a reason),
// else what failed and why: Cannot write "NAME": <the system's text>.
[[noreturn]] void RaiseWriteFailure(int Error, const std::string& Name);
// The error number behind a failed write to Stream: its own record when it keeps one, else
// errno as the failed call left it.
int WriteErrorOf(const TStream& Stream, int Errno);

class TZipWriter::TRun {
  public:
    // Starts a run of Writer: takes FilesList as the lines to work on, keeps the archive open
    // and its entries unsorted for the run, and puts the writer in the Writing state.
    explicit TRun(TZipWriter& Writer);
    // Releases everything; unless MarkDone was called, also deletes the output file and the
    // finished volumes. Then gives the writer back its settings, clears FilesList and leaves
    // the writer Idle (done) or Failed.
    ~TRun();
    TRun(const TRun&) = delete;
    TRun& operator=(const TRun&) = delete;

    // The run's output is complete and in place: nothing it wrote is to be removed.
    void MarkDone() { FDone = true; }

    // Closes the source file, drops the staging file and the output without raising: what a
    // run holds open. The writer's destructor calls it for a run cut short by a handler.
    void Release() noexcept;
    void CloseSource() noexcept {
        Source.reset();
        LinkTarget.reset();
    }
    void StopCompressAhead() noexcept {
        Ready.reset();
        Ahead.reset();
    }
    void DropStaging() noexcept;
    void AbandonOutput() noexcept;

    // One file's part of the run: its counters start at 0; EndFile closes its source, drops
    // its staging and forgets the header.
    void StartFile(TZipHeaderInfo& Header);
    void EndFile() noexcept;

    // Lines of FilesList still to be worked on; those worked on leave at the front.
    TLineList Lines;
    int Result = 0;  // files added or replaced
    bool Updating = false;
    // The merge has taken entries out of the old directory: a failed run reads it again.
    bool OldEntriesTaken = false;

    // Progress.
    int64_t TotalBytes = 0;
    int64_t BytesDone = 0;
    int64_t FileBytesRead = 0;   // advances only while OnFilePercentDone is assigned
    int64_t FileBytesTaken = 0;  // every byte read of the current file
    uint32_t Crc = 0xFFFFFFFFu;
    TZipHeaderInfo* CurrentHeader = nullptr;

    // The file being added, and its size and last-write time when it was opened.
    std::unique_ptr<TBufferedFileStream> Source;
    // A symbolic link's data: the bytes of its target, read in place of a file's.
    std::unique_ptr<TMemoryStream> LinkTarget;
    TStream& Input() { return LinkTarget ? static_cast<TStream&>(*LinkTarget) : *Source; }
    int64_t SourceSizeAtOpen = 0;
    struct timespec SourceTimeAtOpen {};
    std::unique_ptr<TDeflateBuffers> DeflateBuffers;
    // The workers compressing ahead, and what one of them made of the current file.
    std::unique_ptr<TCompressAhead> Ahead;
    std::unique_ptr<TCompressedFile> Ready;
    // Lines at the front of Lines already fed to the workers (or passed over as not theirs).
    size_t LinesFed = 0;
    bool FeedEnded = false;
    // While an update merges: the lines it will deflate, in its order, not yet fed.
    bool Merging = false;
    std::deque<size_t> Plan;

    // The file the run replaces (ZipName, or what a link of that name points to), and the
    // lock that keeps other runs from writing it meanwhile.
    std::string Target;
    TRunLock Lock;
    // The output: the file (a temporary one when an archive is rebuilt), the guard that turns
    // short writes into errors, and the buffer over both.
    std::string OutFileName;
    std::unique_ptr<TStream> OutFile;
    std::unique_ptr<TGuardStream> OutGuard;
    std::unique_ptr<TBufferStream> OutStream;

    // The new directory.
    std::unique_ptr<TSortedZip> WrittenList;
    std::unique_ptr<TSortedZip> ByNameList;
    std::unique_ptr<TEndCentral> NewEnd;
    std::vector<std::string> DisposeList;

    // What the walk must never add: the archive itself.
    struct TArchiveIdentity {
        bool Known = false;
        dev_t Device = 0;
        ino_t Inode = 0;
        std::string Path;  // resolved, for an archive that does not exist yet
        std::string Name;
    } ArchiveId;
    std::unordered_set<std::string> OldStoredNames;  // freshen: names the old archive has
    // Where this writer's runs make temporary archives (device, inode).
    std::vector<std::pair<dev_t, ino_t>> TempFolders;

    // Volume output.
    int Volume = 0;
    int64_t VolumeCapacity = 0;
    std::vector<std::string> VolumeFiles;  // finished volumes of this run
    std::string StageName;
    std::unique_ptr<TBufferedFileStream> Stage;

  private:
    TZipWriter& FWriter;
    const TZipSortMode FSavedSortMode;
    const bool FSavedKeepZipOpen;
    const int FUncaughtAtStart;  // tells a run left by an exception from one that returned
    bool FDone = false;
};

}  // namespace qm
