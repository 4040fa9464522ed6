// The run's clean-up, the one place where what a run opened is released and, after a failure,
// what it wrote is removed.
#include "zip/ZipWriterRun.h"

#include <exception>

#include "platform/FileOps.h"
#include "zip/ZipErrors.h"

namespace qm {

int32_t TZipWriter::TGuardStream::Write(const void* Buffer, int32_t Count) {
    int32_t n = FStream.Write(Buffer, Count);
    if (n != Count) {
        Failed = true;
        if (Armed) throw ENotEnoughRoom(sidNotEnoughRoom);
    }
    return n;
}

TZipWriter::TRun::TRun(TZipWriter& Writer)
    : Lines(Writer.FilesList()),
      FWriter(Writer),
      FSavedSortMode(Writer.SortMode()),
      FSavedKeepZipOpen(Writer.KeepZipOpen()),
      FUncaughtAtStart(std::uncaught_exceptions()) {
    FWriter.SetKeepZipOpen(true);
    FWriter.Sort(ByNone);  // entry indices mean the same in EntryList and SortedView
    FWriter.FRun = this;
    FWriter.FState = TZipWriterState::Writing;
}

TZipWriter::TRun::~TRun() {
    Release();
    if (!FDone) {
        for (const std::string& volume : VolumeFiles) DeleteFile(volume);
        if (!OutFileName.empty()) DeleteFile(OutFileName);
    }
    // The run's own lists go before the settings it changed are given back.
    DeflateBuffers.reset();
    ByNameList.reset();
    WrittenList.reset();
    NewEnd.reset();
    Lines.clear();
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
    if (!StageName.empty()) DeleteFile(StageName);
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
