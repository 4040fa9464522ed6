// The writer's side of compress-ahead: which files the workers get, and how a worker's record
// takes the place of the writer's own compression of a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "platform/FileAttributes.h"
#include "platform/FileStream.h"
#include "platform/PathAt.h"
#include "zip/BufferedFileStream.h"
#include "zip/CompressAhead.h"
#include "zip/StoredPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"
#include "zip/ZipWriterRun.h"
#include "zip/format/UnixExtra.h"
#include "zip/walk/PathUtils.h"

namespace qm {

namespace {

// More workers than this only wait on each other and on the budget.
constexpr int kMaxWorkers = 64;

int OnlineProcessors() {
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

// A spool's bytes from its start, handed out as the record's hand-overs ask for them. What has
// been handed out is given back to the file system as the copy goes: a file's data is then never
// held twice on the medium, so that a back-up that fits on one thread fits with spools too.
class TSpoolReader {
  public:
    explicit TSpoolReader(int Fd) : FFd(Fd) {}
    const uint8_t* Next(uint32_t Count) {
        if (FEnd - FAt < Count) {
            Release(FOffset - static_cast<off_t>(FEnd - FAt));
            std::copy(FBuffer.begin() + static_cast<ptrdiff_t>(FAt),
                      FBuffer.begin() + static_cast<ptrdiff_t>(FEnd), FBuffer.begin());
            FEnd -= FAt;
            FAt = 0;
            if (FBuffer.size() < Count) FBuffer.resize(Count);
            if (FBuffer.size() < kPiece) FBuffer.resize(kPiece);
            while (FEnd < Count) {
                const ssize_t n =
                    ::pread(FFd, FBuffer.data() + FEnd, FBuffer.size() - FEnd, FOffset);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0)
                    throw EZipError(std::string("Cannot read back a spooled file: ") +
                                    (n < 0 ? std::strerror(errno) : "it is short"));
                FEnd += static_cast<size_t>(n);
                FOffset += n;
            }
        }
        const uint8_t* bytes = FBuffer.data() + FAt;
        FAt += Count;
        return bytes;
    }

  private:
    void Release(off_t Copied) {
        if (Copied - FReleased < static_cast<off_t>(kPiece)) return;
        // Where holes cannot be made, the spool keeps its room until it is closed, as before.
        if (::fallocate(FFd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, FReleased,
                        Copied - FReleased) == 0)
            FReleased = Copied;
    }

    static constexpr size_t kPiece = size_t{1} << 18;
    const int FFd;
    off_t FReleased = 0;
    std::vector<uint8_t> FBuffer;
    size_t FAt = 0;
    size_t FEnd = 0;
    off_t FOffset = 0;
};

}  // namespace

// The name part NameEntry will give the file's entry.
std::string TZipWriter::EntryNamePart(const std::string& Name) const {
    std::string name = Name;
    if (FStore83Names) name = ConvertPathName(name, false);
    OemFilter(name);
    return NamePart(name);
}

// Whether ZipOneFile will deflate the line, as far as can be told before OnStartZip: folder
// entries and stored files are its own.
bool TZipWriter::DeflatesLine(const std::string& Line) const {
    return !Line.empty() && Line.back() != '/' && !IsNoCompress(EntryNamePart(Line));
}

int TZipWriter::AheadThreads() const {
    return std::min(FThreads > 0 ? FThreads : OnlineProcessors(), kMaxWorkers);
}

bool TZipWriter::CompressAheadWanted() const {
    // Volumes stage every file and copy it, one after the other: they stay on this thread.
    return AheadThreads() >= 2 && !VolumesOn() && FPackLevel > 0;
}

// Starts the workers, unless they run already (an update starts them for its merge) or there is
// not enough to deflate to keep a worker busy.
void TZipWriter::StartCompressAhead() {
    if (!FRun->Ahead) {
        if (!CompressAheadWanted()) return;
        size_t deflated = FRun->Plan.size();
        if (!FRun->Merging)
            for (size_t i = 0; i < FRun->Lines.size(); ++i)
                if (DeflatesLine(FRun->Lines[i]) && ++deflated == 2) break;
        if (deflated < 2) return;
        try {
            // Spools go beside the archive, where its own temporary file goes: the folder a
            // back-up is written to is the one known to have room for it.
            FRun->Ahead = std::make_unique<TCompressAhead>(std::min(FPackLevel, kMaxDeflateLevel),
                                                           AheadThreads(), kCompressAheadBudget,
                                                           ReplacementFolder(FRun->Target));
        } catch (const std::system_error&) {
            // No thread to be had: the run goes on, on this thread alone.
            return;
        }
    }
    FeedCompressAhead();
}

// Tells the workers the next files to deflate, as far ahead as the budget can use: the list is
// fed as the run goes rather than copied whole, so that a back-up of millions of files does not
// hold every path twice.
void TZipWriter::FeedCompressAhead() {
    TRun& run = *FRun;
    if (!run.Ahead) return;
    if (run.FeedEnded) return;
    size_t waiting = run.Ahead->Waiting();
    if (run.Merging) {
        for (; !run.Plan.empty() && waiting < kCompressAheadNames; ++waiting) {
            run.Ahead->Feed(run.Lines[run.Plan.front()]);
            run.Plan.pop_front();
        }
        return;
    }
    while (run.LinesFed < run.Lines.size() && waiting < kCompressAheadNames) {
        const std::string line = run.Lines[run.LinesFed++];
        if (!DeflatesLine(line)) continue;
        run.Ahead->Feed(line);
        ++waiting;
    }
    if (run.LinesFed == run.Lines.size()) {
        run.Ahead->EndOfList();
        run.FeedEnded = true;
    }
}

// In place of opening the file: a worker's record of it, when there is one that can stand for
// this thread's own compression. Fills in what opening would have.
bool TZipWriter::TakeCompressedAhead(const std::string& Name, TZipHeaderInfo& Header) {
    if (!FRun->Ahead) return false;
    std::unique_ptr<TCompressedFile> file = FRun->Ahead->Take(Name);
    if (!file || !file->UsableAfter(FRun->DeflateBuffers->Window()[kWindowTailIndex])) return false;
    // Gone, out of reach, or changed since the worker opened it: opened here as if there were no
    // workers, which reports what it finds.
    struct stat st {};
    if (StatPath(Name, st, false) != 0 || !S_ISREG(st.st_mode) || file->ChangedSinceRead(st))
        return false;
    Header.ExternalAttributes = AttributesOf(NamePart(Name), st);
    Header.DateTime = file->DateTime;
    // The same mode and time as this thread's own opening would have taken (the time is the
    // worker's: it has not changed since).
    SetUnixMetadata(Header, st.st_mode, st.st_mtime);
    FRun->SourceSizeAtOpen = file->SizeAtOpen;
    Header.UncompressedSize = static_cast<uint64_t>(file->SizeAtOpen);
    FRun->Ready = std::move(file);
    return true;
}

// The file is read here after all when it is to be stored after all (OnStartZip renamed it), or
// when it changed after the worker read it: this thread would have read it as it is now.
void TZipWriter::ReadAgainIfNeeded(bool Store) {
    if (!Store && !FRun->Ready->ChangedSinceRead()) return;
    try {
        FRun->Source = std::make_unique<TBufferedFileStream>(FRun->Ready->Name,
                                                             fmOpenRead | fmNoFollow, false);
    } catch (const EStreamError&) {
        // No longer readable: the worker's copy is the file as it was when this run opened it.
        if (!Store) return;
        throw;
    }
    // The file counts as opened when the worker opened it, which is when this thread would have
    // opened it (before OnStartZip): CheckUnchanged reports the change as it would have.
    FRun->SourceTimeAtOpen = {static_cast<time_t>(FRun->Ready->ModifiedNs / 1000000000),
                              static_cast<long>(FRun->Ready->ModifiedNs % 1000000000)};
    FRun->Ready.reset();
}

// Replays the record: the same reads (progress) and hand-overs (data, messages, cancellation)
// in the same order as DeflateFile on this thread, then the same header fields.
void TZipWriter::WriteCompressedAhead(TZipHeaderInfo& Header) {
    const TCompressedFile& file = *FRun->Ready;
    TSpoolReader spool(file.SpoolFd);
    size_t at = 0;
    for (const uint32_t step : file.Steps) {
        const uint32_t n = step & ~TCompressedFile::kStepWrite;
        if (step & TCompressedFile::kStepWrite) {
            if (file.SpoolFd >= 0) {
                WriteOutput(spool.Next(n), n);
            } else {
                WriteOutput(file.Data.data() + at, n);
                at += n;
            }
        } else {
            NoteBytesRead(n);
        }
    }
    if (file.Failure) std::rethrow_exception(file.Failure);
    FRun->Crc = file.Crc;
    Header.Flags = static_cast<uint16_t>(Header.Flags | file.Bits.Flags);
    if (file.Result.WrittenRaw) Header.Method = 0;
    if (Header.InternalAttributes == 2) Header.InternalAttributes = file.Bits.InternalAttributes;
    Header.CompressedSize = file.Result.CompressedSize;
    // The next file this thread compresses starts from the window the worker left.
    if (file.SetsWindowTail) FRun->DeflateBuffers->Window()[kWindowTailIndex] = file.WindowTail;
    ++FFilesCompressedAhead;
}

}  // namespace qm
