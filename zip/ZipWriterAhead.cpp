// The writer's side of compress-ahead: which files the workers get, and how a worker's record
// takes the place of the writer's own compression of a file.
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "platform/FileAttributes.h"
#include "platform/FileStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/CompressAhead.h"
#include "zip/ZipWriter.h"
#include "zip/ZipWriterRun.h"
#include "zip/walk/PathUtils.h"

namespace qm {

namespace {

// More workers than this only wait on each other and on the budget.
constexpr int kMaxWorkers = 64;

int OnlineProcessors() {
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace

// The name part NameEntry will give the file's entry.
std::string TZipWriter::EntryNamePart(const std::string& Name) const {
    std::string name = Name;
    if (FStore83Names) name = ConvertPathName(name, false);
    OemFilter(name);
    return NamePart(name);
}

void TZipWriter::StartCompressAhead() {
    const int threads = std::min(FThreads > 0 ? FThreads : OnlineProcessors(), kMaxWorkers);
    // Volumes stage every file and copy it, one after the other: they stay on this thread.
    if (threads < 2 || VolumesOn() || FPackLevel <= 0) return;
    // The files ZipOneFile will deflate, in the order it will come to them. Folder entries and
    // stored files are its own.
    std::vector<std::string> files;
    for (const std::string& line : FRun->Lines) {
        if (line.empty() || line.back() == '/') continue;
        if (IsNoCompress(EntryNamePart(line))) continue;
        files.push_back(line);
    }
    if (files.size() < 2) return;
    try {
        FRun->Ahead = std::make_unique<TCompressAhead>(
            std::move(files), std::min(FPackLevel, kMaxDeflateLevel), threads);
    } catch (const std::system_error&) {
        // No thread to be had: the run goes on, on this thread alone.
    }
}

// In place of opening the file: a worker's record of it, when there is one that can stand for
// this thread's own compression. Fills in what opening would have.
bool TZipWriter::TakeCompressedAhead(const std::string& Name, TZipHeaderInfo& Header) {
    if (!FRun->Ahead) return false;
    std::unique_ptr<TCompressedFile> file = FRun->Ahead->Take(Name);
    if (!file || !file->UsableAfter(FRun->DeflateBuffers->Window()[kWindowTailIndex])) return false;
    // Gone or changed since the worker read it: opened here as if there were no workers.
    const uint32_t attributes = FileGetAttr(Name);
    if (attributes == faInvalid || file->ChangedSinceRead()) return false;
    Header.ExternalAttributes = attributes;
    Header.DateTime = file->DateTime;
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
                                                             fmOpenRead | fmShareDenyWrite, false);
    } catch (const EStreamError&) {
        // No longer readable: the worker's copy is the file as it was when this run opened it.
        if (!Store) return;
        throw;
    }
    FRun->Ready.reset();
}

// Replays the record: the same reads (progress) and hand-overs (data, messages, cancellation)
// in the same order as DeflateFile on this thread, then the same header fields.
void TZipWriter::WriteCompressedAhead(TZipHeaderInfo& Header) {
    const TCompressedFile& file = *FRun->Ready;
    size_t at = 0;
    for (const uint32_t step : file.Steps) {
        const uint32_t n = step & ~TCompressedFile::kStepWrite;
        if (step & TCompressedFile::kStepWrite) {
            WriteOutput(file.Data.data() + at, n);
            at += n;
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
}

}  // namespace qm
