// The run's clean-up, the one place where what a run opened is released and, after a failure,
// what it wrote is removed.
#include "zip/ZipWriterRun.h"

#include <cerrno>
#include <cstring>
#include <exception>

#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/TempFile.h"
#include "zip/ZipErrors.h"

namespace qm {

int WriteErrorOf(const TStream& Stream, int Errno) {
    if (auto* handle = dynamic_cast<const THandleStream*>(&Stream)) return handle->LastError();
    return Errno;
}

void RaiseWriteFailure(int Error, const std::string& Name) {
    if (Error == 0 || Error == ENOSPC || Error == EDQUOT || Error == EFBIG)
        throw ENotEnoughRoom(sidNotEnoughRoom);
    throw EZipError("Cannot write \"" + Name + "\": " + std::strerror(Error));
}

int32_t TZipWriter::TGuardStream::Write(const void* Buffer, int32_t Count) {
    errno = 0;
    int32_t n = FStream.Write(Buffer, Count);
    if (n != Count) {
        const int error = WriteErrorOf(FStream, errno);
        Failed = true;
        if (Armed) RaiseWriteFailure(error, FName);
    }
    return n;
}

TZipWriter::TRun::TRun(TZipWriter& Writer)
    : FWriter(Writer),
      FSavedSortMode(Writer.SortMode()),
      FSavedKeepZipOpen(Writer.KeepZipOpen()),
      FUncaughtAtStart(std::uncaught_exceptions()) {
    for (const std::string& line : Writer.FilesList()) Lines.push_back(line);
    FWriter.SetKeepZipOpen(true);
    FWriter.Sort(ByNone);  // entry indices mean the same in EntryList and SortedView
    FWriter.FRun = this;
    FWriter.FState = TZipWriterState::Writing;
    FWriter.FFilesCompressedAhead = 0;
}

TZipWriter::TRun::~TRun() {
    Release();
    if (!FDone) {
        for (const std::string& volume : VolumeFiles) DeleteFile(volume);
        if (!OutFileName.empty()) DeleteTempFile(OutFileName);
    }
    // The run's own lists go before the settings it changed are given back.
    DeflateBuffers.reset();
    ByNameList.reset();
    WrittenList.reset();
    NewEnd.reset();
    Lines.clear();
    if (!FDone && OldEntriesTaken) FWriter.RestoreOldDirectory();
    FWriter.FilesList().clear();
    FWriter.SetKeepZipOpen(FSavedKeepZipOpen);
    FWriter.Sort(FSavedSortMode);
    FWriter.CloseZip();
    FWriter.FRun = nullptr;
    FWriter.FState = std::uncaught_exceptions() > FUncaughtAtStart ? TZipWriterState::Failed
                                                                   : TZipWriterState::Idle;
}

void TZipWriter::TRun::Release() noexcept {
    StopCompressAhead();
    CloseSource();
    DropStaging();
    AbandonOutput();
}

void TZipWriter::TRun::DropStaging() noexcept {
    Stage.reset();
    if (!StageName.empty()) DeleteTempFile(StageName);
    StageName.clear();
}

void TZipWriter::TRun::AbandonOutput() noexcept {
    if (OutGuard) OutGuard->Armed = false;
    OutStream.reset();  // its last flush goes to a file that is deleted next
    OutGuard.reset();
    OutFile.reset();
}

void TZipWriter::TRun::StartFile(TZipHeaderInfo& Header) {
    FileBytesRead = 0;
    FileBytesTaken = 0;
    SourceSizeAtOpen = 0;
    CurrentHeader = &Header;
}

void TZipWriter::TRun::EndFile() noexcept {
    Ready.reset();
    CloseSource();
    DropStaging();
    CurrentHeader = nullptr;
}

}  // namespace qm
