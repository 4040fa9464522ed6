// TZipReader: the archive named by ZipName, its directory in memory, and the properties that
// reading and writing share. The writer (TZipWriter) derives from it.
//
// States with respect to the archive: no directory (after construction, a new ZipName,
// ClearZip); directory loaded with the stream closed (after OpenZip + CloseZip); directory
// loaded with the stream open (during an operation, or between operations with KeepZipOpen).
// OpenZip reads the directory when there is none or when the file's last-write time (DOS
// precision) differs from ArchiveDate.
//
// Bad input. Whatever the bytes of the file, ReadZip, OpenZip and the comment loaders end in a
// result or one of these exceptions: EIncompleteZip, ENotAZipFile, EBadZipFile, EUserCanceled
// (a cancelled rebuild scan), EListError (more than 65,520 entries, two entries at one offset),
// or the platform stream's errors (EStreamError and its kin, for a file that cannot be opened
// or read). Every size field is checked against what the file holds before it is used.
//
// Multi-volume sets are read as far as the reading path needs: the end record of the last
// volume, the central directory on the volumes it names (other volumes are found through
// OnGetNextDisk; the named file is the last volume), and the ".zfc" directory file beside the
// first volume of a set.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/DosDateTime.h"
#include "platform/Stream.h"
#include "zip/ZipErrors.h"
#include "zip/format/EndCentral.h"
#include "zip/format/SortedZip.h"
#include "zip/format/ZipHeaderInfo.h"

namespace qm {

class TBufferedFileStream;
class TZipReader;

// What a missing or broken directory means.
enum TIncompleteZipMode : uint8_t {
    izAssumeMulti = 0,    // a volume of a multi-volume set: EIncompleteZip
    izAssumeBad = 1,      // a damaged archive: rebuild the directory from the local headers
    izAssumeNotAZip = 2,  // no archive at all: ENotAZipFile
};

// Extraction only (not used by this system).
enum class TUZOverwriteMode : uint8_t { Prompt, Always, Never, ifNewer, ifOlder };

enum TMultiMode : uint8_t { mmNone = 0, mmSpan = 1, mmBlocks = 2 };

// Events. An unassigned event is skipped; answers come back through the reference parameters.
using TFilePercentDone = std::function<void(TZipReader& Sender, int Percent)>;
using TTotalPercentDone = std::function<void(TZipReader& Sender, int Percent)>;
using TIncompleteZip = std::function<void(TZipReader& Sender, TIncompleteZipMode& IncompleteMode)>;
// NextDisk counts from 1. An empty FName after the handler means the user gave up.
using TGetNextDisk = std::function<void(TZipReader& Sender, int NextDisk, std::string& FName)>;

inline constexpr int kThisVersion = 220;

class TZipReader {
  public:
    // Defaults: see each property. OnGetNextDisk is preset to DefaultGetNextDisk.
    TZipReader();
    // ClearZip, then everything owned is freed.
    virtual ~TZipReader();
    TZipReader(const TZipReader&) = delete;
    TZipReader& operator=(const TZipReader&) = delete;

    // Copies ZipName (the value only, without the setter's effects), DestDir, RootDir,
    // SortMode, RecreateDirs, OverwriteMode, the lines of FilesList, DoAll,
    // IncompleteZipMode, KeepZipOpen, DoProcessMessages, RetainAttributes, ReplaceReadOnly
    // and every event handler.
    void Assign(const TZipReader& Source);
    // After the properties were loaded from saved settings: ThisVersion is forced to 220.
    virtual void Loaded();

    // ---- Properties ----------------------------------------------------------------------

    // Always 220; the setter forces it.
    int ThisVersion() const { return FThisVersion; }
    void SetThisVersion(int) { FThisVersion = kThisVersion; }

    // The archive file. Setting a different name (compared exactly: file names are
    // case-sensitive) drops the directory: view and list freed, ArchiveDate 0, EndCentral
    // cleared, the stream closed, Rebuilt false; nothing is read. A value ending in "?" asks
    // for the file with the open dialog of the UI hooks (title 176, filter 177, starting in
    // the value's folder when it exists, else "/"); cancelling raises EUserCanceled (186).
    const std::string& ZipName() const { return FZipName; }
    virtual void SetZipName(const std::string& Value);

    // Extraction folder (not used by the writer). "?" asks for a folder with the UI hooks'
    // folder dialog (EUserCanceled 178 when cancelled); one trailing "/" is removed.
    const std::string& DestDir() const { return FDestDir; }
    void SetDestDir(const std::string& Value);

    // Base folder of relative file specifications: empty, or ending in "/".
    const std::string& RootDir() const { return FRootDir; }
    void SetRootDir(const std::string& Value);

    // Order of SortedView (ByNone by default). The setter only stores: Sort applies it.
    TZipSortMode SortMode() const { return FSortMode; }
    void SetSortMode(TZipSortMode Value) { FSortMode = Value; }

    // The file specifications; the setter copies the lines.
    std::vector<std::string>& FilesList() { return FFilesList; }
    const std::vector<std::string>& FilesList() const { return FFilesList; }
    void SetFilesList(const std::vector<std::string>& Value) { FFilesList = Value; }

    // What a missing or broken directory means (izAssumeMulti by default).
    TIncompleteZipMode IncompleteZipMode() const { return FIncompleteZipMode; }
    void SetIncompleteZipMode(TIncompleteZipMode Value) { FIncompleteZipMode = Value; }
    // Keep the archive stream open between operations (false by default).
    bool KeepZipOpen() const { return FKeepZipOpen; }
    void SetKeepZipOpen(bool Value) { FKeepZipOpen = Value; }
    // Let the user interface process its messages during long work (true by default).
    bool DoProcessMessages() const { return FDoProcessMessages; }
    void SetDoProcessMessages(bool Value) { FDoProcessMessages = Value; }
    // FlushOnClose of every buffered file stream the component opens (false by default).
    bool FlushFilesOnClose() const { return FFlushFilesOnClose; }
    void SetFlushFilesOnClose(bool Value) { FFlushFilesOnClose = Value; }

    // Extraction only: stored and copied, used by nothing here.
    bool RecreateDirs() const { return FRecreateDirs; }
    void SetRecreateDirs(bool Value) { FRecreateDirs = Value; }
    TUZOverwriteMode OverwriteMode() const { return FOverwriteMode; }
    void SetOverwriteMode(TUZOverwriteMode Value) { FOverwriteMode = Value; }
    bool DoAll() const { return FDoAll; }
    void SetDoAll(bool Value) { FDoAll = Value; }
    bool RetainAttributes() const { return FRetainAttributes; }
    void SetRetainAttributes(bool Value) { FRetainAttributes = Value; }
    bool ReplaceReadOnly() const { return FReplaceReadOnly; }
    void SetReplaceReadOnly(bool Value) { FReplaceReadOnly = Value; }

    // Multi-volume settings (the writer keeps its own in MultiZipInfo).
    virtual bool CheckDiskLabels() const { return FCheckDiskLabels; }
    virtual void SetCheckDiskLabels(bool Value) { FCheckDiskLabels = Value; }
    virtual TMultiMode MultiMode() const { return FMultiMode; }
    virtual void SetMultiMode(TMultiMode Value) { FMultiMode = Value; }

    // ---- Events --------------------------------------------------------------------------

    TFilePercentDone OnFilePercentDone;    // fired by the writer
    TTotalPercentDone OnTotalPercentDone;  // fired by the writer
    TIncompleteZip OnInCompleteZip;        // the directory is missing or broken
    TGetNextDisk OnGetNextDisk;            // another volume is wanted

    // The preset OnGetNextDisk: with mmSpan a message box (empty caption, OK and Cancel) asks
    // for the disk, "Please insert disk N of the multi-disk set.", Cancel empties FName; the
    // busy cursor is off while it shows and on afterwards. In any other mode FName gets the
    // extension "." + NextDisk in three digits (".002").
    void DefaultGetNextDisk(TZipReader& Sender, int NextDisk, std::string& FName);

    // ---- Operations ----------------------------------------------------------------------

    // Opens ZipName for reading (when not open) and reads its directory unless it is current.
    void OpenZip();
    // Closes the archive stream unless KeepZipOpen.
    void CloseZip();
    // Closes the stream (also with KeepZipOpen), drops the directory, clears EndCentral,
    // Rebuilt false, ArchiveDate 0, NumberOfDisks 1, MultiMode mmNone, and empties ZipName.
    void ClearZip();
    // Reads the directory from Stream (the archive named by ZipName, opened for reading).
    void ReadZip(TStream& Stream);

    // Entries in EntryList (0 when there is none); reads nothing.
    int Count() const;
    // Rebuilds SortedView for Mode (ByNone: EntryList itself; otherwise a non-owning list with
    // policy accept, filled in archive order) and sets SortMode.
    void Sort(TZipSortMode Mode);

    // Index-based access goes through SortedView. Indexes outside 0..Count-1 raise EListError
    // "Index %d is out of range".
    // The entry's date-time; the current local time when its DOS value does not convert.
    TDateTime GetEntryDateTime(int Index);
    // The entry's comment, loaded from the archive on first use; empty when it has none.
    // EBadZipFile when the comment is not where the record says.
    std::string GetEntryComment(int Index);
    // Replaces the comment unless Text equals the present one (no comment equals "") and marks
    // EndCentral.CommentChanged.
    void SetEntryComment(int Index, const std::string& Text);
    // The archive comment, loaded on first use; empty when it has none.
    std::string GetZipComment();
    // Replaces the archive comment unless Text equals the present one, and marks it changed.
    void SetZipComment(const std::string& Text);

    // Sets CancelRequested; the operation in progress notices it at its next check.
    void RequestCancel() { FCancelRequested = true; }

    // ---- Directory state -----------------------------------------------------------------

    // The directory in archive order (owning, ByNone, policy error), or nullptr.
    TSortedZip* EntryList() const { return FEntryList.get(); }
    // EntryList itself under ByNone, else a separate non-owning view; nullptr without a list.
    TSortedZip* SortedView() const { return FSortedView; }
    TEndCentral& EndCentral() { return *FEndCentral; }
    const TEndCentral& EndCentral() const { return *FEndCentral; }
    // The archive file's last-write time when its directory was read; 0 when none. The writer
    // sets it after writing so that the next OpenZip takes the directory as current.
    TDateTime ArchiveDate() const { return FArchiveDate; }
    void SetArchiveDate(TDateTime Value) { FArchiveDate = Value; }
    // The directory was rebuilt by scanning local headers.
    bool Rebuilt() const { return FRebuilt; }
    int CurrentDisk() const { return FCurrentDisk; }
    int NumberOfDisks() const { return FNumberOfDisks; }
    bool CancelRequested() const { return FCancelRequested; }
    void SetCancelRequested(bool Value) { FCancelRequested = Value; }
    // The open archive, or nullptr.
    TBufferedFileStream* ArchiveStream() const { return FArchiveStream.get(); }

  protected:
    // Installs List (owning, archive order) as the directory, freeing the previous list and
    // view; the view becomes List itself (SortMode is left as it is: call Sort to apply it).
    void SetEntryList(std::unique_ptr<TSortedZip> List);
    // Frees the view (when separate) and the list.
    void DropDirectory();
    // While held, OpenZip takes the directory as current whatever the archive's date says.
    void SetDirectoryHeld(bool Value) { FDirectoryHeld = Value; }
    // Loads Entry's comment from the archive open in Stream (its position is kept).
    void LoadEntryCommentFrom(TStream& Stream, TZipHeaderInfo& Entry);

  private:
    void CheckIndex(int Index) const;
    // The number of the volume that holds the end record (the named file).
    int LastDisk() const;
    // The last-write time of an open file, as ArchiveDate holds it.
    static TDateTime FileDateOf(const TStream& Stream);
    TIncompleteZipMode FireInCompleteZip();
    // Fires OnInCompleteZip and either rebuilds or raises; used when a directory is broken.
    void HandleBrokenDirectory(TStream*& Stream);
    // Rebuilds the directory from the local headers; false when no header was found.
    bool RebuildFromLocalHeaders(TStream& Stream);
    void RebuildOrRaise(TStream& Stream);
    // Looks for the data descriptor of a streamed entry whose data starts at DataStart; when
    // found, takes CRC and sizes from it and returns the position right after it, else -1.
    static int64_t FindDataDescriptor(TStream& Stream, int64_t DataStart, int64_t Size,
                                      TZipHeaderInfo& Entry);
    void ReadCentralDirectory(TStream*& Stream, bool FromDirectoryFile);
    void MergeRebuiltEntry(const TZipHeaderInfo& Central);
    // Opens volume Disk (0-based) of a multi-volume set and makes it the archive stream.
    TStream* LoadVolume(int Disk);
    void LoadZipCommentFrom(TStream& Stream);

    int FThisVersion = kThisVersion;
    std::string FZipName;
    std::string FDestDir;
    std::string FRootDir;
    TZipSortMode FSortMode = ByNone;
    bool FRecreateDirs = false;
    TUZOverwriteMode FOverwriteMode = TUZOverwriteMode::Prompt;
    std::vector<std::string> FFilesList;
    bool FDoAll = false;
    TIncompleteZipMode FIncompleteZipMode = izAssumeMulti;
    bool FKeepZipOpen = false;
    bool FDoProcessMessages = true;
    bool FRetainAttributes = true;
    bool FReplaceReadOnly = false;
    bool FFlushFilesOnClose = false;
    bool FCheckDiskLabels = true;
    TMultiMode FMultiMode = mmNone;

    std::unique_ptr<TBufferedFileStream> FArchiveStream;
    std::unique_ptr<TSortedZip> FEntryList;
    TSortedZip* FSortedView = nullptr;  // FEntryList itself, or owned through FSeparateView
    std::unique_ptr<TSortedZip> FSeparateView;
    std::unique_ptr<TEndCentral> FEndCentral;
    TDateTime FArchiveDate = 0;
    bool FRebuilt = false;
    int FCurrentDisk = 0;
    int FNumberOfDisks = 1;
    bool FCancelRequested = false;
    bool FDirectoryHeld = false;
};

}  // namespace qm
