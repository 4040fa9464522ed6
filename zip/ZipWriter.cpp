// The operation as a whole: properties, the run's steps and its clean-up, and the output.
#include "zip/ZipWriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/DosDateTime.h"
#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/ReplaceFile.h"
#include "platform/TempFile.h"
#include "zip/BufferStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/StoredPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriterRun.h"
#include "zip/check/ArchiveCheck.h"
#include "zip/format/DateUtils.h"
#include "zip/format/SortedZip.h"

namespace qm {

namespace {

int64_t FileSize(const std::string& FileName) {
    struct stat st {};
    return ::stat(FileName.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

}  // namespace

TZipWriter::TZipWriter() = default;

TZipWriter::~TZipWriter() {
    // A writer destroyed in the middle of a run (only possible from a handler) must not leave
    // descriptors or staging files behind.
    if (FRun) FRun->Release();
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
    FThreads = Source.FThreads;
    FNewArchiveMode = Source.FNewArchiveMode;
    FCheckArchive = Source.FCheckArchive;
    OnOutputClosedForTest = Source.OnOutputClosedForTest;
    OnStartZip = Source.OnStartZip;
    OnStartZipInfo = Source.OnStartZipInfo;
    OnEndZip = Source.OnEndZip;
    OnDisposeFile = Source.OnDisposeFile;
    OnDeleteEntry = Source.OnDeleteEntry;
    OnNoSuchFile = Source.OnNoSuchFile;
    OnZipComplete = Source.OnZipComplete;
    OnUpdate = Source.OnUpdate;
    OnSkippingFile = Source.OnSkippingFile;
    OnFileChanged = Source.OnFileChanged;
    OnNotRegularFile = Source.OnNotRegularFile;
    OnFilesFound = Source.OnFilesFound;
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
    if (FState == TZipWriterState::Writing)
        throw Exception("The archive writer is already running");
    TRun run(*this);
    // Volumes are files of their own, each complete when the next one starts; everything else
    // replaces the file a link named ZipName points to, so that the link stays.
    run.Target = VolumesOn() ? ZipName() : ReplacementTarget(ZipName());
    // Two runs that rebuilt one archive at once would each drop the other's entries.
    if (!run.Lock.TryLock(run.Target)) throw EArchiveInUse(ZipName() + ": in use by another run");
    // Under the lock, a temporary archive beside it that nobody holds is what a killed run left.
    if (!VolumesOn()) RemoveLeftoverTempFiles(ReplacementFolder(run.Target));

    if (!run.Lines.empty()) {
        ExpandFilesList();
        bool abandon = false;
        if (OnFilesFound) OnFilesFound(*this, static_cast<int>(run.Lines.size()), abandon);
        if (abandon) return 0;
    }

    run.Updating = FileExists(ZipName());
    // Volumes are written in ZipName's place one after the other; an old archive of that
    // name cannot be rebuilt that way without scattering volumes in the temporary folder.
    if (run.Updating && VolumesOn())
        throw EZipError("Cannot write volumes over the existing archive " + ZipName());
    run.DeflateBuffers = std::make_unique<TDeflateBuffers>();
    if (!FDeflateTables) FDeflateTables = std::make_unique<TDeflateStaticTables>();
    if (run.Updating) {
        // Beside the old archive, so that it takes its place by a rename: never a copy, and
        // never through the temporary folder, which is often memory.
        run.OutFileName = MakeTempFileName(ReplacementFolder(run.Target));
        OpenOutput(run.OutFileName);
        OpenOldArchive();
        // The new end record is taken from the old one only now that it has been read,
        // so that the archive comment survives an update of a directory not yet loaded.
        StartEndRecord(true);
        MergeExistingEntries();
    } else {
        // A new archive is written beside its final name and renamed into place only when it is
        // complete, so that the final name never holds a partial archive, whatever ends the
        // process. The walk is over by now: the temporary file can never be added to itself.
        // Volumes go straight to their names: each is complete when the next one starts.
        run.OutFileName = VolumesOn() ? ZipName() : MakeTempFileName(ReplacementFolder(run.Target));
        OpenOutput(run.OutFileName);
        StartEndRecord(EndCentral().CommentChanged);
    }

    if (!run.Lines.empty() && OnStartZipInfo) {
        bool stopNow = false;
        OnStartZipInfo(*this, static_cast<int>(run.Lines.size()), run.TotalBytes, *run.NewEnd,
                       stopNow);
        if (stopNow) throw EUserCanceled(sidCanceledZipOp);
    }
    if (VolumesOn()) run.TotalBytes *= 2;

    StartCompressAhead();
    while (!run.Lines.empty()) {
        // The entry holds what it needs: a back-up of millions of files must not keep every
        // path twice.
        const std::string line = run.Lines.front();
        run.Lines.pop_front();
        if (run.LinesFed > 0) --run.LinesFed;
        FeedCompressAhead();
        auto header = std::make_unique<TZipHeaderInfo>();
        if (ZipOneFile(line, *header)) RecordEntry(std::move(header), line, true);
    }
    run.Lines.clear();

    WriteCentralDirectory();
    // Only a complete, flushed and closed output counts.
    CloseOutput();
    CheckOutput();

    const bool volumes = VolumesOn();
    if (run.Updating) {
        const std::string name = ZipName();
        ClearZip();
        TZipReader::SetZipName(name);
        ReplaceArchive();
    } else if (!volumes) {
        PlaceNewArchive();
    }
    run.MarkDone();
    if (FDispose) DisposeFiles();
    AdoptNewDirectory();
    if (volumes && OnTotalPercentDone) OnTotalPercentDone(*this, 100);
    return run.Result;
}

void TZipWriter::CheckOutput() {
    if (VolumesOn()) return;
    if (OnOutputClosedForTest) OnOutputClosedForTest(FRun->OutFileName);
    if (!FCheckArchive) return;
    const std::string reason = CheckArchiveFile(FRun->OutFileName, AheadThreads());
    if (!reason.empty()) throw ECheckFailed(ZipName(), reason);
}

void TZipWriter::PlaceNewArchive() {
    const int error = ReplaceFile(FRun->OutFileName, FRun->Target, FNewArchiveMode);
    if (error != 0)
        throw EFCreateError("Cannot create file \"" + ZipName() + "\". " + std::strerror(error));
    FRun->OutFileName.clear();  // nothing of this run to remove any more
}

void TZipWriter::StartEndRecord(bool FromCurrent) {
    FRun->NewEnd = std::make_unique<TEndCentral>();
    if (FromCurrent) {
        if (EndCentral().HasComment()) GetZipComment();  // loads it when absent
        FRun->NewEnd->Assign(EndCentral());
        FRun->NewEnd->EntriesOnDisk = 0;
        FRun->NewEnd->TotalEntries = 0;
        FRun->NewEnd->CommentChanged = false;
    }
}

void TZipWriter::AdoptNewDirectory() {
    EndCentral().Assign(*FRun->NewEnd);
    EndCentral().CommentChanged = false;
    // The comment ends the new archive, wherever it stood in the old one.
    const int64_t size = FileSize(ZipName());
    if (size >= EndCentral().CommentLength)
        EndCentral().CommentPosition = static_cast<uint64_t>(size - EndCentral().CommentLength);
    SetEntryList(std::move(FRun->WrittenList));
    // The archive's date as the next OpenZip will see it, so that it reads nothing again.
    TDateTime date = 0;
    if (!TryDosDateTimeToDateTime(ClampDosDateTime(FileAge(ZipName())), date)) date = 0;
    SetArchiveDate(date);
    FRun->ByNameList.reset();
}

void TZipWriter::RecordEntry(std::unique_ptr<TZipHeaderInfo> Header, const std::string& Name,
                             bool Counted) {
    TZipHeaderInfo* entry = Header.get();
    FRun->WrittenList->Add(std::move(Header));
    FRun->ByNameList->Add(entry);
    ++FRun->NewEnd->EntriesOnDisk;
    ++FRun->NewEnd->TotalEntries;
    if (Counted) {
        ++FRun->Result;
        if (FDispose && !Name.empty() && Name.back() != '/') FRun->DisposeList.push_back(Name);
    }
}

void TZipWriter::DisposeFiles() {
    for (const std::string& name : FRun->DisposeList) {
        bool skip = false;
        if (OnDisposeFile) OnDisposeFile(*this, name, skip);
        if (!skip) DeleteFile(name);
    }
    FRun->DisposeList.clear();
}

void TZipWriter::WriteCentralDirectory() {
    // A move before the first central header starts the directory at offset 0 of the new
    // volume.
    if (FRun->WrittenList->Count() > 0)
        EnsureRoom(static_cast<int64_t>(FRun->WrittenList->Items(0)->CentralRecordSize()));
    FRun->NewEnd->CentralOffset = Out().Position();
    FRun->NewEnd->CentralDisk = static_cast<uint32_t>(FRun->Volume);
    uint64_t size = 0;
    for (int i = 0; i < FRun->WrittenList->Count(); ++i) {
        TZipHeaderInfo& entry = *FRun->WrittenList->Items(i);
        EnsureRoom(static_cast<int64_t>(entry.CentralRecordSize()));
        int64_t before = Out().Position();
        // Where a later comment lookup of the adopted directory finds this record.
        entry.CentralOffset = static_cast<uint64_t>(before);
        entry.SaveCentralToStream(Out());
        size += static_cast<uint64_t>(Out().Position() - before);
    }
    FRun->NewEnd->CentralSize = size;
    FRun->NewEnd->ThisDisk = static_cast<uint32_t>(FRun->Volume);
    EnsureRoom(static_cast<int64_t>(FRun->NewEnd->EndRecordSize()));
    FRun->NewEnd->SaveToStream(Out());
}

// ---------------------------------------------------------------------------------------
// The output.

std::unique_ptr<TStream> TZipWriter::CreateOutputFile(const std::string& FileName) {
    return std::make_unique<TFileStream>(FileName, fmCreate);
}

void TZipWriter::OpenOutput(const std::string& FileName) {
    FRun->OutFile = CreateOutputFile(FileName);
    FRun->OutGuard = std::make_unique<TGuardStream>(*FRun->OutFile, ZipName());
    FRun->OutStream = std::make_unique<TBufferStream>(*FRun->OutGuard);
    if (!FRun->WrittenList) {
        FRun->WrittenList = std::make_unique<TSortedZip>(dupError);
        FRun->WrittenList->SortMode = ByNone;
        FRun->ByNameList = std::make_unique<TSortedZip>(dupAccept, false);
        FRun->ByNameList->SortMode = ByName;
    }
    if (VolumesOn()) FRun->VolumeCapacity = VolumeCapacity(FRun->Volume);
}

TStream& TZipWriter::Out() {
    return *FRun->OutStream;
}

void TZipWriter::CloseOutput() {
    if (!FRun->OutStream) return;
    errno = 0;
    bool ok = FRun->OutStream->Finish();  // the guard raises on a short final flush
    int error = ok ? 0 : errno;
    if (ok && FlushFilesOnClose()) {
        if (auto* handle = dynamic_cast<THandleStream*>(FRun->OutFile.get())) {
            ok = handle->Commit();
            if (!ok) error = handle->LastError();
        }
    }
    if (auto* file = dynamic_cast<TFileStream*>(FRun->OutFile.get())) {
        // A delayed write error shows only here.
        if (!file->Close() && ok) {
            ok = false;
            error = file->LastError();
        }
    }
    ok = ok && !FRun->OutGuard->Failed;
    FRun->OutStream.reset();
    FRun->OutGuard.reset();
    FRun->OutFile.reset();
    if (!ok) RaiseWriteFailure(error, ZipName());
}

}  // namespace qm
