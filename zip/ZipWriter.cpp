// The operation as a whole: properties, the run's steps and its clean-up, and the output.
#include "zip/ZipWriter.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/DosDateTime.h"
#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/TempFile.h"
#include "zip/BufferStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/ZipErrors.h"
#include "zip/format/DateUtils.h"
#include "zip/format/SortedZip.h"

namespace qm {

namespace {

int64_t FileSize(const std::string& FileName) {
    struct stat st {};
    return ::stat(FileName.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

}  // namespace

// Between the buffered output and the file: turns any write the medium takes short into
// ENotEnoughRoom, wherever it happens (data, headers, a flush behind a seek, the final flush).
// Disarmed while a failed run drops its output, so that tearing down never raises.
class TZipWriter::TGuardStream : public TStream {
  public:
    explicit TGuardStream(TStream& Stream) : FStream(Stream) {}
    int32_t Read(void* Buffer, int32_t Count) override { return FStream.Read(Buffer, Count); }
    int32_t Write(const void* Buffer, int32_t Count) override {
        int32_t n = FStream.Write(Buffer, Count);
        if (n != Count) {
            Failed = true;
            if (Armed) throw ENotEnoughRoom(sidNotEnoughRoom);
        }
        return n;
    }
    int64_t Seek(int64_t Offset, int Origin) override { return FStream.Seek(Offset, Origin); }
    void SetSize(int64_t NewSize) override { FStream.SetSize(NewSize); }

    bool Armed = true;
    bool Failed = false;

  private:
    TStream& FStream;
};

TZipWriter::TZipWriter() = default;

TZipWriter::~TZipWriter() {
    // A writer destroyed in the middle of a run (only possible from a handler) must not leave
    // descriptors or staging files behind.
    CloseSource();
    DropStaging();
    AbandonOutput();
}

void TZipWriter::SetStorePaths(bool Value) {
    FStorePaths = Value;
    if (!Value) {
        FStoreVolumes = false;
        FRelativePaths = false;
    }
}

void TZipWriter::SetRelativePaths(bool Value) {
    FRelativePaths = Value;
    if (Value) {
        FStorePaths = true;
        FRecurse = true;
    }
}

void TZipWriter::SetStoreVolumes(bool Value) {
    FStoreVolumes = Value;
    if (Value) FStorePaths = true;
}

void TZipWriter::Assign(const TZipWriter& Source) {
    if (&Source == this) return;
    TZipReader::Assign(Source);
    FPackLevel = Source.FPackLevel;
    FRecurse = Source.FRecurse;
    FDispose = Source.FDispose;
    FStorePaths = Source.FStorePaths;
    FRelativePaths = Source.FRelativePaths;
    FStoreVolumes = Source.FStoreVolumes;
    FZipAction = Source.FZipAction;
    FMultiZipInfo = Source.FMultiZipInfo;
    FStore83Names = Source.FStore83Names;
    FTempPath = Source.FTempPath;
    FSkipIfArchiveBitNotSet = Source.FSkipIfArchiveBitNotSet;
    FResetArchiveBitOnZip = Source.FResetArchiveBitOnZip;
    FExcludeList = Source.FExcludeList;
    FNoCompressList = Source.FNoCompressList;
    FAddDirEntriesOnRecurse = Source.FAddDirEntriesOnRecurse;
    OnStartZip = Source.OnStartZip;
    OnStartZipInfo = Source.OnStartZipInfo;
    OnEndZip = Source.OnEndZip;
    OnDisposeFile = Source.OnDisposeFile;
    OnDeleteEntry = Source.OnDeleteEntry;
    OnNoSuchFile = Source.OnNoSuchFile;
    OnZipComplete = Source.OnZipComplete;
    OnUpdate = Source.OnUpdate;
    OnSkippingFile = Source.OnSkippingFile;
}

void TZipWriter::Loaded() {
    TZipReader::Loaded();
    SetCheckDiskLabels(FMultiZipInfo.CheckDiskLabels);
    SetMultiMode(FMultiZipInfo.MultiMode);
}

void TZipWriter::SetZipName(const std::string& Value) {
    // Linux names are case-sensitive: only the very same name changes nothing.
    if (Value == ZipName()) return;
    if (EndCentral().CommentChanged) {
        FilesList().clear();
        RunOperation();
        EndCentral().CommentChanged = false;
    }
    TZipReader::SetZipName(Value);
}

int TZipWriter::ZipFiles() {
    int result = RunOperation();
    if (OnZipComplete) OnZipComplete(*this, result);
    return result;
}

namespace {

std::string Trimmed(const std::string& Text) {
    size_t b = Text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = Text.find_last_not_of(" \t\r\n");
    return Text.substr(b, e - b + 1);
}

}  // namespace

int TZipWriter::RunOperation() {
    if (Trimmed(ZipName()).empty()) return 0;
    if (FRunning) throw Exception("The archive writer is already running");
    FRunning = true;
    FResult = 0;
    FVolume = 0;
    FVolumeFiles.clear();
    const TZipSortMode savedSortMode = SortMode();
    const bool savedKeepZipOpen = KeepZipOpen();
    SetKeepZipOpen(true);
    Sort(ByNone);  // entry indices mean the same in EntryList and SortedView
    FDisposeList.clear();
    FLines = FilesList();
    FOutFileName.clear();
    FUpdating = false;

    // Clean-up, whatever the end: the run's own lists and the settings it changed.
    auto finish = [&]() {
        FDeflateBuffers.reset();
        FByNameList.reset();
        FNewEnd.reset();
        FLines.clear();
        FilesList().clear();
        SetKeepZipOpen(savedKeepZipOpen);
        Sort(savedSortMode);
        CloseZip();
        FRunning = false;
    };

    bool closed = false;
    try {
        if (!FLines.empty()) ExpandFilesList();

        FUpdating = FileExists(ZipName());
        // Volumes are written in ZipName's place one after the other; an old archive of that
        // name cannot be rebuilt that way without scattering volumes in the temporary folder.
        if (FUpdating && VolumesOn())
            throw EZipError("Cannot write volumes over the existing archive " + ZipName());
        FDeflateBuffers = std::make_unique<TDeflateBuffers>();
        if (!FDeflateTables) FDeflateTables = std::make_unique<TDeflateStaticTables>();
        if (FUpdating) {
            FOutFileName = MakeTempFileName(ChooseTempFolder());
            OpenOutput(FOutFileName);
            OpenOldArchive();
            // The new end record is taken from the old one only now that it has been read,
            // so that the archive comment survives an update of a directory not yet loaded.
            StartEndRecord(true);
            MergeExistingEntries();
        } else {
            FOutFileName = ZipName();
            OpenOutput(FOutFileName);
            StartEndRecord(EndCentral().CommentChanged);
        }

        if (!FLines.empty() && OnStartZipInfo) {
            bool stopNow = false;
            OnStartZipInfo(*this, static_cast<int>(FLines.size()), FTotalBytes, *FNewEnd, stopNow);
            if (stopNow) throw EUserCanceled(sidCanceledZipOp);
        }
        if (VolumesOn()) FTotalBytes *= 2;

        for (const std::string& line : FLines) {
            auto header = std::make_unique<TZipHeaderInfo>();
            if (ZipOneFile(line, *header)) RecordEntry(std::move(header), line, true);
        }
        FLines.clear();

        WriteCentralDirectory();
        // Only a complete, flushed and closed output counts.
        CloseOutput();
        closed = true;

        const bool volumes = VolumesOn();
        if (FUpdating) {
            const std::string name = ZipName();
            ClearZip();
            TZipReader::SetZipName(name);
            ReplaceArchive();
        }
        FOutFileName.clear();
        FVolumeFiles.clear();
        if (FDispose) DisposeFiles();
        AdoptNewDirectory();
        if (volumes && OnTotalPercentDone) OnTotalPercentDone(*this, 100);
    } catch (...) {
        CloseSource();
        DropStaging();
        if (!closed) AbandonOutput();
        FWrittenList.reset();
        for (const std::string& volume : FVolumeFiles) DeleteFile(volume);
        if (!FOutFileName.empty()) DeleteFile(FOutFileName);
        FOutFileName.clear();
        FVolumeFiles.clear();
        finish();
        throw;
    }
    finish();
    return FResult;
}

void TZipWriter::StartEndRecord(bool FromCurrent) {
    FNewEnd = std::make_unique<TEndCentral>();
    if (FromCurrent) {
        if (EndCentral().HasComment()) GetZipComment();  // loads it when absent
        FNewEnd->Assign(EndCentral());
        FNewEnd->EntriesOnDisk = 0;
        FNewEnd->TotalEntries = 0;
        FNewEnd->CommentChanged = false;
    }
}

void TZipWriter::AdoptNewDirectory() {
    EndCentral().Assign(*FNewEnd);
    EndCentral().CommentChanged = false;
    // The comment ends the new archive, wherever it stood in the old one.
    const int64_t size = FileSize(ZipName());
    if (size >= EndCentral().CommentLength)
        EndCentral().CommentPosition = static_cast<uint64_t>(size - EndCentral().CommentLength);
    SetEntryList(std::move(FWrittenList));
    // The archive's date as the next OpenZip will see it, so that it reads nothing again.
    TDateTime date = 0;
    if (!TryDosDateTimeToDateTime(ClampDosDateTime(FileAge(ZipName())), date)) date = 0;
    SetArchiveDate(date);
    FByNameList.reset();
}

void TZipWriter::RecordEntry(std::unique_ptr<TZipHeaderInfo> Header, const std::string& Name,
                             bool Counted) {
    TZipHeaderInfo* entry = Header.get();
    FWrittenList->Add(std::move(Header));
    FByNameList->Add(entry);
    ++FNewEnd->EntriesOnDisk;
    ++FNewEnd->TotalEntries;
    if (Counted) {
        ++FResult;
        if (FDispose && !Name.empty() && Name.back() != '/') FDisposeList.push_back(Name);
    }
}

void TZipWriter::DisposeFiles() {
    for (const std::string& name : FDisposeList) {
        bool skip = false;
        if (OnDisposeFile) OnDisposeFile(*this, name, skip);
        if (!skip) DeleteFile(name);
    }
    FDisposeList.clear();
}

void TZipWriter::WriteCentralDirectory() {
    // A move before the first central header starts the directory at offset 0 of the new
    // volume.
    if (FWrittenList->Count() > 0)
        EnsureRoom(static_cast<int64_t>(FWrittenList->Items(0)->CentralRecordSize()));
    FNewEnd->CentralOffset = Out().Position();
    FNewEnd->CentralDisk = static_cast<uint32_t>(FVolume);
    uint64_t size = 0;
    for (int i = 0; i < FWrittenList->Count(); ++i) {
        TZipHeaderInfo& entry = *FWrittenList->Items(i);
        EnsureRoom(static_cast<int64_t>(entry.CentralRecordSize()));
        int64_t before = Out().Position();
        // Where a later comment lookup of the adopted directory finds this record.
        entry.CentralOffset = static_cast<uint64_t>(before);
        entry.SaveCentralToStream(Out());
        size += static_cast<uint64_t>(Out().Position() - before);
    }
    FNewEnd->CentralSize = size;
    FNewEnd->ThisDisk = static_cast<uint32_t>(FVolume);
    EnsureRoom(static_cast<int64_t>(FNewEnd->EndRecordSize()));
    FNewEnd->SaveToStream(Out());
}

// ---------------------------------------------------------------------------------------
// The output.

std::unique_ptr<TStream> TZipWriter::CreateOutputFile(const std::string& FileName) {
    return std::make_unique<TFileStream>(FileName, fmCreate);
}

void TZipWriter::OpenOutput(const std::string& FileName) {
    FOutFile = CreateOutputFile(FileName);
    FOutGuard = std::make_unique<TGuardStream>(*FOutFile);
    FOutStream = std::make_unique<TBufferStream>(*FOutGuard);
    if (!FWrittenList) {
        FWrittenList = std::make_unique<TSortedZip>(dupError);
        FWrittenList->SortMode = ByNone;
        FByNameList = std::make_unique<TSortedZip>(dupAccept, false);
        FByNameList->SortMode = ByName;
    }
    if (VolumesOn()) FVolumeCapacity = VolumeCapacity(FVolume);
}

TStream& TZipWriter::Out() {
    return *FOutStream;
}

void TZipWriter::CloseOutput() {
    if (!FOutStream) return;
    bool ok = FOutStream->Finish();  // the guard raises on a short final flush
    if (ok && FlushFilesOnClose()) {
        if (auto* handle = dynamic_cast<THandleStream*>(FOutFile.get())) ok = handle->Commit();
    }
    if (auto* file = dynamic_cast<TFileStream*>(FOutFile.get())) ok = file->Close() && ok;
    ok = ok && !FOutGuard->Failed;
    FOutStream.reset();
    FOutGuard.reset();
    FOutFile.reset();
    if (!ok) throw ENotEnoughRoom(sidNotEnoughRoom);
}

void TZipWriter::AbandonOutput() {
    if (FOutGuard) FOutGuard->Armed = false;
    FOutStream.reset();  // its last flush goes to a file that is deleted next
    FOutGuard.reset();
    FOutFile.reset();
}

}  // namespace qm
