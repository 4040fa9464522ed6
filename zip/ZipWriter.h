// TZipWriter: builds a ZIP archive from file specifications, or rebuilds an existing one.
//
// ZipFiles expands FilesList into files, writes each as a local header, its (deflated or
// stored) data and a patched local header, then the central directory and the end record.
// When ZipName already exists the run writes a complete new archive into a temporary file
// beside it, carrying the old entries over (kept or replaced according to ZipAction), and only
// then puts it in the old archive's place by the one replace routine (ReplaceFile.h). A run is
// a success only once its output is complete, flushed and closed; every failure removes what
// the run wrote and leaves an old archive untouched. A run holds the lock of its archive
// (RunLock.h) from start to end: a second run on the same archive raises EArchiveInUse.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ReplaceFile.h"
#include "platform/Stream.h"
#include "zip/MultiZipInfo.h"
#include "zip/StoredPath.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriterEvents.h"
#include "zip/deflate/DeflateFile.h"

namespace qm {

class TSortedZip;

// Idle: no run yet, or the last one succeeded. Writing: a run is in progress (what event
// handlers see). Failed: the last run raised; its output is gone and the next run starts afresh.
enum class TZipWriterState { Idle, Writing, Failed };

class TZipWriter : public TZipReader, private TDeflateIO {
  public:
    TZipWriter();
    ~TZipWriter() override;
    TZipWriter(const TZipWriter&) = delete;
    TZipWriter& operator=(const TZipWriter&) = delete;

    // Runs the operation and fires OnZipComplete with its result: the number of files added
    // to the archive or replaced in it. Exceptions pass to the caller after the clean-up.
    int ZipFiles();

    TZipWriterState State() const { return FState; }

    // Copies every property and event handler of Source.
    void Assign(const TZipWriter& Source);
    // After loading the settings: hands the multi-volume settings to the base class.
    void Loaded() override;

    // An unchanged name changes nothing; pending comment changes of the current archive are
    // written before the name changes.
    void SetZipName(const std::string& Value) override;
    bool CheckDiskLabels() const override { return FMultiZipInfo.CheckDiskLabels; }
    void SetCheckDiskLabels(bool Value) override { FMultiZipInfo.CheckDiskLabels = Value; }
    TMultiMode MultiMode() const override { return FMultiZipInfo.MultiMode; }
    void SetMultiMode(TMultiMode Value) override { FMultiZipInfo.MultiMode = Value; }

    // Published properties, with the couplings of StorePaths, RelativePaths and StoreVolumes.
    int PackLevel() const { return FPackLevel; }
    void SetPackLevel(int Value) { FPackLevel = Value; }
    bool Recurse() const { return FRecurse; }
    void SetRecurse(bool Value) { FRecurse = Value; }
    bool Dispose() const { return FDispose; }
    void SetDispose(bool Value) { FDispose = Value; }
    bool StorePaths() const { return FStorePaths; }
    void SetStorePaths(bool Value);
    bool RelativePaths() const { return FRelativePaths; }
    void SetRelativePaths(bool Value);
    bool StoreVolumes() const { return FStoreVolumes; }
    void SetStoreVolumes(bool Value);
    TZipAction ZipAction() const { return FZipAction; }
    void SetZipAction(TZipAction Value) { FZipAction = Value; }
    const TMultiZipInfo& MultiZipInfo() const { return FMultiZipInfo; }
    TMultiZipInfo& MultiZipInfo() { return FMultiZipInfo; }
    void SetMultiZipInfo(const TMultiZipInfo& Value) { FMultiZipInfo = Value; }
    bool Store83Names() const { return FStore83Names; }
    void SetStore83Names(bool Value) { FStore83Names = Value; }
    const std::string& TempPath() const { return FTempPath; }
    void SetTempPath(const std::string& Value) { FTempPath = Value; }
    bool SkipIfArchiveBitNotSet() const { return FSkipIfArchiveBitNotSet; }
    void SetSkipIfArchiveBitNotSet(bool Value) { FSkipIfArchiveBitNotSet = Value; }
    bool ResetArchiveBitOnZip() const { return FResetArchiveBitOnZip; }
    void SetResetArchiveBitOnZip(bool Value) { FResetArchiveBitOnZip = Value; }
    std::vector<std::string>& ExcludeList() { return FExcludeList; }
    const std::vector<std::string>& ExcludeList() const { return FExcludeList; }
    void SetExcludeList(const std::vector<std::string>& Value) { FExcludeList = Value; }
    std::vector<std::string>& NoCompressList() { return FNoCompressList; }
    const std::vector<std::string>& NoCompressList() const { return FNoCompressList; }
    void SetNoCompressList(const std::vector<std::string>& Value) { FNoCompressList = Value; }
    bool AddDirEntriesOnRecurse() const { return FAddDirEntriesOnRecurse; }
    void SetAddDirEntriesOnRecurse(bool Value) { FAddDirEntriesOnRecurse = Value; }
    // Threads compressing files ahead of the one being written: 0 (the default) for the number
    // of online processors, 1 for none (everything on the caller's thread). The archive is the
    // same byte for byte, and events come in the same order, whatever the count. Volume output
    // always runs on the caller's thread alone.
    int Threads() const { return FThreads; }
    void SetThreads(int Value) { FThreads = Value < 0 ? 0 : Value; }
    // The permission bits of an archive made where no file was (one that replaces a file takes
    // that file's mode): 0666 less the umask unless set.
    mode_t NewArchiveMode() const { return FNewArchiveMode; }
    void SetNewArchiveMode(mode_t Value) { FNewArchiveMode = Value & 07777; }
    // Whether a new archive is read back and decoded (zip/check/ArchiveCheck.h) before it takes
    // its name; on by default. A failed check fails the run ("Back-up check failed: NAME:
    // REASON") and leaves the previous archive as it was. Volume sets are not checked.
    bool CheckArchive() const { return FCheckArchive; }
    void SetCheckArchive(bool Value) { FCheckArchive = Value; }
    // Tests only: called with the output file once it is complete and closed, before the check,
    // so that a test can damage it and see the check refuse it.
    std::function<void(const std::string& OutputFile)> OnOutputClosedForTest;
    // Files of the last (or current) run whose data a worker compressed.
    int FilesCompressedAhead() const { return FFilesCompressedAhead; }

    TStartZipEvent OnStartZip;
    TStartZipInfo OnStartZipInfo;
    TEndZipFileEvent OnEndZip;
    TDisposeEvent OnDisposeFile;
    TDeleteEvent OnDeleteEntry;
    TNoSuchFileEvent OnNoSuchFile;
    TZipComplete OnZipComplete;
    TUpdateEvent OnUpdate;
    // A file cannot be opened (srFileOpenError; Retry asks for another attempt), a folder of a
    // walk cannot be listed (srFileOpenError, FName ends in "/", Retry is ignored), or a stored
    // name was already written in this run (srNoOverwrite). SkippingReason says why.
    TSkippingFile OnSkippingFile;
    TFileChangedEvent OnFileChanged;
    TNotRegularFileEvent OnNotRegularFile;
    TFilesFoundEvent OnFilesFound;

    // While OnSkippingFile runs: why the file or folder cannot be read, in the system's words
    // (such as "Permission denied"); empty for srNoOverwrite.
    const std::string& SkippingReason() const { return FSkippingReason; }

    // Whether a mask of ExcludeList / NoCompressList takes Name (a full path / a name part).
    bool IsExcluded(const std::string& Name) const;
    bool IsNoCompress(const std::string& Name) const;
    // The stored directory part a file of that name gets ("" or ending in "/").
    std::string StoredPathOf(const std::string& Name) const;

  protected:
    // Opens the raw output file (created or truncated). Tests put a failing medium here.
    virtual std::unique_ptr<TStream> CreateOutputFile(const std::string& FileName);
    // The capacity of the volume that the output starts now (volume output only).
    virtual int64_t VolumeCapacity(int Volume);

  private:
    class TGuardStream;
    class TRun;

    // One run, without the closing OnZipComplete.
    int RunOperation();
    void ExpandFilesList();
    void ExpandWildcard(const std::string& Spec, class TLineList& Into);
    void NoteArchiveIdentity();
    bool IsArchiveItself(const std::string& FileName) const;
    bool IsLeftoverTemporary(const std::string& FileName) const;
    bool FreshenRefuses(const std::string& FileName) const;
    TStoredPathRules PathRules() const;
    void StartEndRecord(bool FromCurrent);
    void AdoptNewDirectory();
    // Adds one file or folder line; false when it was not added (gone, refused, skipped).
    bool ZipOneFile(const std::string& Name, TZipHeaderInfo& Header);
    // Its steps.
    void StampFolder(const std::string& Name, TZipHeaderInfo& Header);
    bool OpenSource(const std::string& Name, TZipHeaderInfo& Header);
    bool OpenLink(const std::string& Name, const struct stat& St, TZipHeaderInfo& Header);
    void ReportNotRegular(const std::string& Name);
    void NameEntry(const std::string& Name, TZipHeaderInfo& Header);
    bool SkipsEntry(const std::string& Name, TZipHeaderInfo& Header);
    void WriteLocalPlaceholder(TZipHeaderInfo& Header, bool Folder);
    void WriteData(TZipHeaderInfo& Header);
    void PatchLocalHeader(const std::string& Name, TZipHeaderInfo& Header);
    void StoreFile();
    // OnSkippingFile for a file or folder that cannot be read; Retry as the handler answered.
    bool ReportUnreadable(const std::string& Name, const std::string& Reason, bool& Retry);
    // After the data: OnFileChanged when the source no longer measures what it did at opening.
    void CheckUnchanged(const std::string& Name);
    // Puts a created archive, complete, under its final name.
    void PlaceNewArchive();
    // Compress-ahead (ZipWriterAhead.cpp).
    int AheadThreads() const;
    bool CompressAheadWanted() const;
    void StartCompressAhead();
    void FeedCompressAhead();
    bool DeflatesLine(const std::string& Line) const;
    bool TakeCompressedAhead(const std::string& Name, TZipHeaderInfo& Header);
    void WriteCompressedAhead(TZipHeaderInfo& Header);
    void ReadAgainIfNeeded(bool Store);
    std::string EntryNamePart(const std::string& Name) const;
    void MarkZip64(TZipHeaderInfo& Header);
    void WriteLocalHeader(TZipHeaderInfo& Header);
    void RecordEntry(std::unique_ptr<TZipHeaderInfo> Header, const std::string& Name, bool Counted);
    void MergeExistingEntries();
    // (hash of the stored name a line would get, the line), in that order: a million lines
    // are looked up by name at 8 bytes each.
    using TLinesByName = std::vector<std::pair<uint32_t, uint32_t>>;
    TLinesByName IndexLinesByName() const;
    // The unused line (marked used now) that replaces Entry; SIZE_MAX when there is none.
    size_t MatchingLine(const TZipHeaderInfo& Entry, const TLinesByName& LinesByName,
                        std::vector<bool>& Used) const;
    // Whether Entry gives way to the file of Line.
    bool ReplacesEntry(const TZipHeaderInfo& Entry, size_t Line) const;
    // After a failed update that took the old entries over: the old directory, read again.
    void RestoreOldDirectory() noexcept;
    void PlanReplacements(const std::deque<std::unique_ptr<TZipHeaderInfo>>& Entries,
                          const TLinesByName& LinesByName);
    // OpenZip for a run that rebuilds the archive; refuses one that is part of a volume set.
    void OpenOldArchive();
    bool MatchesEntry(const std::string& Line, const TZipHeaderInfo& Entry) const;
    // The stored name (directory part and name part) a FilesList line would get.
    std::string StoredNameOfLine(const std::string& Line) const;
    void CopyEntry(TZipHeaderInfo& Entry);
    void ReplaceArchive();
    void DisposeFiles();
    void WriteCentralDirectory();
    std::string ChooseTempFolder() const;

    void OpenOutput(const std::string& FileName);
    // Flushes, commits (with FlushFilesOnClose) and closes; raises when any of it failed.
    void CloseOutput();
    // Reads the closed output back; raises when it does not decode to what was written.
    void CheckOutput();

    // Volume output.
    bool VolumesOn() const { return FMultiZipInfo.MultiMode != mmNone; }
    int64_t RoomLeft();
    void NextVolume();
    void EnsureRoom(int64_t Bytes);
    void CopyStagingToOutput(TZipHeaderInfo& Header);
    void OpenStaging();

    // TDeflateIO: every byte of file data passes through these two.
    uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) override;
    // ReadInput's counting and progress events for N bytes read.
    void NoteBytesRead(uint32_t N);
    void WriteOutput(const uint8_t* Buffer, uint32_t Count) override;

    TStream& Out();

    // Published state.
    int FPackLevel = 6;
    bool FRecurse = false;
    bool FDispose = false;
    bool FStorePaths = false;
    bool FRelativePaths = false;
    bool FStoreVolumes = false;
    TZipAction FZipAction = zaUpdate;
    TMultiZipInfo FMultiZipInfo;
    bool FStore83Names = false;
    std::string FTempPath;
    bool FSkipIfArchiveBitNotSet = false;
    bool FResetArchiveBitOnZip = false;
    std::vector<std::string> FExcludeList;
    std::vector<std::string> FNoCompressList;
    bool FAddDirEntriesOnRecurse = false;
    std::string FSkippingReason;
    int FThreads = 0;
    mode_t FNewArchiveMode = DefaultFileMode();
    bool FCheckArchive = true;
    int FFilesCompressedAhead = 0;

    // Everything a run opens and builds lives in the run (ZipWriterRun.h), which exists only
    // while RunOperation does; the code tables outlive runs.
    TZipWriterState FState = TZipWriterState::Idle;
    TRun* FRun = nullptr;
    std::unique_ptr<TDeflateStaticTables> FDeflateTables;
};

}  // namespace qm
