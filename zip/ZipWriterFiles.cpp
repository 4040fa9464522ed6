// From file specifications to entries: expanding the list, adding one file, and the two
// routines through which every byte of file data passes.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_set>
#include <vector>

#include "platform/DosDateTime.h"
#include "platform/FileAttributes.h"
#include "platform/FileOps.h"
#include "platform/FindFile.h"
#include "platform/PathAt.h"
#include "platform/ReplaceFile.h"
#include "platform/SystemFolders.h"
#include "platform/TempFile.h"
#include "platform/UiHooks.h"
#include "zip/BufferStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/StoredPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"
#include "zip/ZipWriterRun.h"
#include "zip/checksum/Crc32.h"
#include "zip/format/PercentOf.h"
#include "zip/format/RecordIO.h"
#include "zip/format/SortedZip.h"
#include "zip/format/UnixExtra.h"
#include "zip/format/Zip64.h"
#include "zip/walk/DirSearch.h"
#include "zip/walk/PathUtils.h"
#include "zip/walk/WildcardMatch.h"

namespace qm {

namespace {

// Stored files go through in pieces of this size: each is one progress step and one chance to
// cancel.
constexpr uint16_t kStorePiece = 16000;

// Where the 32-bit fields end (their maximum itself means "see the Zip64 field").
constexpr int64_t kZip32Limit = detail::kMax32;
// A file this large when it is opened gets the Zip64 block in its local header: the header
// is written before the sizes are known, and deflate may add a little to incompressible data.
constexpr int64_t kLocalZip64Threshold = kZip32Limit - (int64_t{1} << 20);

std::string ResolvedPath(const std::string& Path) {
    char buf[PATH_MAX];
    return ::realpath(Path.c_str(), buf) ? std::string(buf) : std::string();
}

}  // namespace

TStoredPathRules TZipWriter::PathRules() const {
    TStoredPathRules rules;
    rules.StorePaths = FStorePaths;
    rules.RelativePaths = FRelativePaths;
    rules.StoreVolumes = FStoreVolumes;
    rules.RootDir = RootDir();
    return rules;
}

std::string TZipWriter::StoredPathOf(const std::string& Name) const {
    return StoredDirectoryOf(Name, PathRules());
}

std::string TZipWriter::StoredNameOfLine(const std::string& Line) const {
    std::string name = Line;
    OemFilter(name);
    return StoredNameOf(name, PathRules());
}

// Names are compared exactly: Linux file names are case-sensitive, so A.txt and a.txt are two
// files and two entries.
bool TZipWriter::MatchesEntry(const std::string& Line, const TZipHeaderInfo& Entry) const {
    // An entry read without bit 11 holds its name decoded from code page 437; a name that is not
    // UTF-8 was stored as its raw bytes, which is what the line gives.
    const std::string name = StoredNameOfLine(Line);
    return name == Entry.StoredName() || name == Entry.StoredNameBytes();
}

namespace {

bool MatchesAnyMask(const std::vector<std::string>& Masks, const std::string& Name) {
    for (const std::string& mask : Masks) {
        if (mask.empty()) continue;
        // The matcher ignores the case of ASCII letters, as mask matching always does.
        const std::string& text = mask.find('/') != std::string::npos ? Name : NamePart(Name);
        if (IsMatch(mask, text)) return true;
    }
    return false;
}

}  // namespace

bool TZipWriter::IsExcluded(const std::string& Name) const {
    return MatchesAnyMask(FExcludeList, Name);
}

bool TZipWriter::IsNoCompress(const std::string& Name) const {
    return MatchesAnyMask(FNoCompressList, Name);
}

// ---------------------------------------------------------------------------------------
// Expansion.

void TZipWriter::NoteArchiveIdentity() {
    FRun->ArchiveId = {};
    struct stat st {};
    if (::stat(ZipName().c_str(), &st) == 0) {
        FRun->ArchiveId.Known = true;
        FRun->ArchiveId.Device = st.st_dev;
        FRun->ArchiveId.Inode = st.st_ino;
    }
    // Not there yet (a creating run): recognise it by its resolved path instead.
    std::string dir = DirectoryPart(ZipName());
    std::string resolved = ResolvedPath(dir.empty() ? "." : dir);
    FRun->ArchiveId.Path = resolved.empty() ? std::string() : resolved + "/" + NamePart(ZipName());
    if (!resolved.empty() && resolved == "/") FRun->ArchiveId.Path = "/" + NamePart(ZipName());
    FRun->ArchiveId.Name = NamePart(ZipName());
    // The folders where runs make their temporary archives.
    FRun->TempFolders.clear();
    for (const std::string& folder : {ReplacementFolder(FRun->Target), ChooseTempFolder()})
        if (::stat(folder.c_str(), &st) == 0) FRun->TempFolders.push_back({st.st_dev, st.st_ino});
}

// A temporary archive that a run which was killed left where runs make them: a partial copy of
// a back-up, which a later back-up of that folder must not take for a document (and grow by).
bool TZipWriter::IsLeftoverTemporary(const std::string& FileName) const {
    if (!IsTempFileName(NamePart(FileName))) return false;
    const std::string dir = DirectoryPart(FileName);
    struct stat st {};
    if (StatPath(dir.empty() ? "." : dir, st) != 0) return false;
    for (const auto& [device, inode] : FRun->TempFolders)
        if (st.st_dev == device && st.st_ino == inode) return true;
    return false;
}

bool TZipWriter::IsArchiveItself(const std::string& FileName) const {
    if (FRun->ArchiveId.Known) {
        struct stat st {};
        return StatPath(FileName, st) == 0 && st.st_dev == FRun->ArchiveId.Device &&
               st.st_ino == FRun->ArchiveId.Inode;
    }
    if (FRun->ArchiveId.Path.empty() || NamePart(FileName) != FRun->ArchiveId.Name) return false;
    std::string dir = DirectoryPart(FileName);
    std::string resolved = ResolvedPath(dir.empty() ? "." : dir);
    if (resolved.empty()) return false;
    return (resolved == "/" ? "" : resolved) + "/" + NamePart(FileName) == FRun->ArchiveId.Path;
}

bool TZipWriter::FreshenRefuses(const std::string& FileName) const {
    return FZipAction == zaFreshen && FRun->OldStoredNames.count(StoredNameOfLine(FileName)) == 0;
}

void TZipWriter::ExpandFilesList() {
    FRun->TotalBytes = 0;
    FRun->BytesDone = 0;
    NoteArchiveIdentity();
    FRun->OldStoredNames.clear();
    if (FZipAction == zaFreshen && FileExists(ZipName())) {
        // The old directory decides what freshening takes, so it must be read first.
        OpenOldArchive();
        for (int i = 0; i < Count(); ++i) {
            const TZipHeaderInfo& entry = *EntryList()->Items(i);
            FRun->OldStoredNames.insert(entry.StoredName());
            FRun->OldStoredNames.insert(entry.StoredNameBytes());
        }
    }

    TLineList kept;
    std::vector<std::string> wildcards;
    for (size_t i = 0; i < FRun->Lines.size(); ++i) {
        const std::string line = FRun->Lines[i];
        if (line.empty()) continue;
        if (line.back() == '/') {
            kept.push_back(line);
            continue;
        }
        if (IsWildcard(line)) {
            wildcards.push_back(line);
            continue;
        }
        std::string name = DirectoryPart(line).empty() ? RootDir() + line : line;
        if (IsExcluded(name)) continue;
        TSearchRec found;
        const int rc = FindFirst(name, faAnyFile, found);
        if (rc == feNoMoreFiles || rc == ENOENT || rc == ENOTDIR) {
            if (OnNoSuchFile) OnNoSuchFile(*this, line);
            continue;
        }
        if (rc != 0) {
            bool retry = false;
            ReportUnreadable(name, std::strerror(rc), retry);
            continue;
        }
        FindClose(found);
        if (found.Attr & faDevice) {
            ReportNotRegular(name);
            continue;
        }
        if (FSkipIfArchiveBitNotSet && (found.Attr & (faArchive | faSymLink)) == 0) continue;
        if (FreshenRefuses(name)) continue;
        kept.push_back(name);
        FRun->TotalBytes += found.Size64;
    }
    for (const std::string& spec : wildcards) ExpandWildcard(spec, kept);
    FRun->Lines = std::move(kept);
    FRun->OldStoredNames.clear();
}

void TZipWriter::ExpandWildcard(const std::string& Spec, TLineList& Into) {
    std::string spec = Spec;
    bool recurse = FRecurse;
    if (spec[0] == '|') {
        recurse = false;
        spec.erase(0, 1);
    } else if (spec[0] == '>') {
        recurse = true;
        spec.erase(0, 1);
    }
    std::string folder = DirectoryPart(spec);
    if (folder.empty()) folder = RootDir();
    // Without a folder and a root, the current folder (an empty start would be "/").
    if (folder.empty()) folder = GetCurrentDir() + "/";
    const std::string mask = NamePart(spec);
    // A folder mask is the walk's to resolve; a plain folder that is missing gives nothing.
    if (!IsWildcard(folder)) {
        struct stat st {};
        const int error = StatPath(folder, st);
        if (error == ENOENT || error == ENOTDIR || (error == 0 && !S_ISDIR(st.st_mode))) return;
        if (error != 0) {
            bool retry = false;
            ReportUnreadable(folder, std::strerror(error), retry);
            return;
        }
    }

    // A folder that cannot be listed leaves out everything in it: the user must hear of it.
    TDirSearch search(folder, mask, recurse, [this](const std::string& Folder, int Error) {
        bool retry = false;
        ReportUnreadable(Folder, std::strerror(Error), retry);
    });
    for (;;) {
        TSearchRec rec;
        std::string fileName;
        search.NextFile(rec, fileName);
        if (fileName.empty()) break;
        if (fileName.back() == '/') {
            if (recurse && FAddDirEntriesOnRecurse) Into.push_back(fileName);
            continue;
        }
        if (IsExcluded(fileName) || IsArchiveItself(fileName)) continue;
        if (rec.Attr & faDevice) {
            ReportNotRegular(fileName);
            continue;
        }
        if (IsLeftoverTemporary(fileName)) {
            // Left out, but said: the user may delete it, or find that a run is still going.
            bool retry = false;
            ReportUnreadable(fileName, "a temporary archive of an interrupted back-up", retry);
            continue;
        }
        if (FSkipIfArchiveBitNotSet && (rec.Attr & (faArchive | faSymLink)) == 0) continue;
        if (FreshenRefuses(fileName)) continue;
        Into.push_back(fileName);
        FRun->TotalBytes += rec.Size64;
    }
}

// ---------------------------------------------------------------------------------------
// One file.

bool TZipWriter::ZipOneFile(const std::string& Name, TZipHeaderInfo& Header) {
    TRun& run = *FRun;
    run.StartFile(Header);
    // However the file ends (added, refused, or an exception), its source and staging go.
    struct TFileEnd {
        TRun& Run;
        ~TFileEnd() { Run.EndFile(); }
    } fileEnd{run};

    const bool folder = !Name.empty() && Name.back() == '/';
    if (folder)
        StampFolder(Name, Header);
    else if (!OpenSource(Name, Header))
        return false;
    NameEntry(Name, Header);
    if (SkipsEntry(Name, Header)) {
        run.TotalBytes -= run.SourceSizeAtOpen;
        return false;
    }
    WriteLocalPlaceholder(Header, folder);
    if (folder) {
        if (OnEndZip) OnEndZip(*this, Name, 0, 0, 0);
        return true;
    }
    WriteData(Header);
    PatchLocalHeader(Name, Header);
    if (VolumesOn()) CopyStagingToOutput(Header);
    CheckUnchanged(Name);

    run.CloseSource();
    // Linux keeps no archive bit, so ResetArchiveBitOnZip has nothing to clear.
    if (OnEndZip)
        OnEndZip(*this, Name, static_cast<int64_t>(Header.UncompressedSize),
                 static_cast<int64_t>(Header.CompressedSize), Out().Size());
    return true;
}

// A folder entry: the folder's mode and time (0755 and now, when it cannot be found), and no
// data.
void TZipWriter::StampFolder(const std::string& Name, TZipHeaderInfo& Header) {
    const std::string path = Name.substr(0, Name.size() - 1);
    struct stat st {};
    if (!path.empty() && StatPath(path, st, false) == 0) {
        Header.DateTime = DosDateTimeFromTime(st.st_mtime);
        SetUnixMetadata(Header, st.st_mode, st.st_mtime);
    } else {
        const time_t now = std::time(nullptr);
        Header.DateTime = DosDateTimeFromTime(now);
        SetUnixMetadata(Header, kDefaultFolderMode, now);
    }
    Header.CompressedSize = 0;
    Header.UncompressedSize = 0;
    Header.CRC = 0;
    Header.Method = 0;
    Header.InternalAttributes = 0;
}

// Opens the file for reading (OnSkippingFile may ask for more attempts) and takes its
// attributes, time and size at opening into Header. False when the file is gone or refused.
bool TZipWriter::OpenSource(const std::string& Name, TZipHeaderInfo& Header) {
    if (TakeCompressedAhead(Name, Header)) return true;
    bool retry = false;  // the handler's last answer, kept across attempts
    for (;;) {
        struct stat st {};
        const int error = StatPath(Name, st, false);
        if (error != 0) {
            // Vanished since the expansion, or out of reach (a folder on its way may not be
            // searched): as a failed open, so that the file is not left out in silence.
            if (ReportUnreadable(Name, std::strerror(error), retry)) continue;
            return false;
        }
        Header.ExternalAttributes = AttributesOf(NamePart(Name), st);
        if (S_ISLNK(st.st_mode)) {
            if (OpenLink(Name, st, Header)) return true;
            if (ReportUnreadable(Name, std::strerror(errno), retry)) continue;
            return false;
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            // Became a FIFO, socket or device since the expansion: never opened.
            ReportNotRegular(Name);
            return false;
        }
        try {
            // Opened as it is: a file another program keeps open (a database, a log) is read,
            // and reported when it changes meanwhile (CheckUnchanged). A link put in its place
            // since the look above is refused, never followed.
            FRun->Source =
                std::make_unique<TBufferedFileStream>(Name, fmOpenRead | fmNoFollow, false);
            break;
        } catch (const EStreamError& e) {
            // Also FIFOs, sockets and devices: they are never read, so never hang.
            if (ReportUnreadable(Name, e.Reason().empty() ? e.Message() : e.Reason(), retry))
                continue;
            return false;
        }
    }
    struct stat opened {};
    if (::fstat(FRun->Source->Handle(), &opened) == 0) {
        FRun->SourceTimeAtOpen = opened.st_mtim;
        SetUnixMetadata(Header, opened.st_mode, opened.st_mtime);
    }
    Header.DateTime = FileAgeOfHandle(FRun->Source->Handle());
    FRun->SourceSizeAtOpen = FRun->Source->Size();
    Header.UncompressedSize = static_cast<uint64_t>(FRun->SourceSizeAtOpen);
    return true;
}

// A symbolic link is stored as itself, never as what it points to: its target's bytes are its
// data, and its own mode and time describe it. False (errno set) when it cannot be read.
bool TZipWriter::OpenLink(const std::string& Name, const struct stat& St, TZipHeaderInfo& Header) {
    std::vector<char> target(static_cast<size_t>(St.st_size > 0 ? St.st_size : 0) + 1);
    for (;;) {
        const int64_t n = ReadLinkPath(Name, target.data(), target.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            break;
        }
        target.resize(target.size() * 2);  // the link changed since it was looked at
    }
    FRun->LinkTarget = std::make_unique<TMemoryStream>(std::string(target.begin(), target.end()));
    FRun->SourceSizeAtOpen = static_cast<int64_t>(target.size());
    Header.UncompressedSize = target.size();
    Header.DateTime = DosDateTimeFromTime(St.st_mtime);
    SetUnixMetadata(Header, St.st_mode, St.st_mtime);
    return true;
}

void TZipWriter::ReportNotRegular(const std::string& Name) {
    if (OnNotRegularFile) OnNotRegularFile(*this, Name);
}

bool TZipWriter::ReportUnreadable(const std::string& Name, const std::string& Reason, bool& Retry) {
    FSkippingReason = Reason;
    struct TClear {
        std::string& Text;
        ~TClear() { Text.clear(); }
    } clear{FSkippingReason};
    if (OnSkippingFile) OnSkippingFile(*this, srFileOpenError, Name, -1, Retry);
    return Retry && (Name.empty() || Name.back() != '/');
}

void TZipWriter::CheckUnchanged(const std::string& Name) {
    // A worker's record was checked against the file just before it was written.
    if (!FRun->Source) return;
    struct stat now {};
    if (::fstat(FRun->Source->Handle(), &now) != 0) return;
    const bool changed = now.st_size != FRun->SourceSizeAtOpen ||
                         FRun->FileBytesTaken != FRun->SourceSizeAtOpen ||
                         now.st_mtim.tv_sec != FRun->SourceTimeAtOpen.tv_sec ||
                         now.st_mtim.tv_nsec != FRun->SourceTimeAtOpen.tv_nsec;
    if (changed && OnFileChanged) OnFileChanged(*this, Name);
}

// The stored name, the local header's future place and the entry's fixed fields.
void TZipWriter::NameEntry(const std::string& Name, TZipHeaderInfo& Header) {
    const bool folder = !Name.empty() && Name.back() == '/';
    std::string name = Name;
    if (FStore83Names) name = ConvertPathName(name, false);
    OemFilter(name);
    Header.SetFileName(folder ? std::string() : NamePart(name));
    Header.RelativeOffset = Out().Position();
    Header.InternalAttributes = folder ? 0 : 2;
    Header.DiskNumberStart = static_cast<uint32_t>(FRun->Volume);
    if (FStorePaths) Header.SetDirectory(StoredPathOf(name));
}

// Whether the entry is left out: a name that stores as nothing, a stored name this run has
// already written (srNoOverwrite), or OnStartZip's choice.
bool TZipWriter::SkipsEntry(const std::string& Name, TZipHeaderInfo& Header) {
    // A name that stores as nothing (the root folder itself as a folder entry) is no entry.
    if (Header.Directory().empty() && Header.FileName().empty()) return true;
    int at = 0;
    if (FRun->ByNameList->Find(Header, at)) {
        bool retry = false;
        if (OnSkippingFile) OnSkippingFile(*this, srNoOverwrite, Name, -1, retry);
        return true;
    }
    bool skip = false;
    if (OnStartZip) OnStartZip(*this, Name, Header, skip);
    return skip;
}

// The local header before the data: its final length, with placeholder sizes and CRC.
void TZipWriter::WriteLocalPlaceholder(TZipHeaderInfo& Header, bool Folder) {
    // Sizes that may not fit the 32-bit fields need the Zip64 extra in the local header
    // from the start: the header is patched in place and cannot grow later.
    Header.Zip64Local = !Folder && FRun->SourceSizeAtOpen >= kLocalZip64Threshold;
    Header.LocalExtraLength = static_cast<uint16_t>((Header.Zip64Local ? kZip64LocalExtraSize : 0) +
                                                    Header.CentralExtra.size());
    EnsureRoom(static_cast<int64_t>(Header.LocalRecordSize()) + 1);
    Header.DiskNumberStart = static_cast<uint32_t>(FRun->Volume);
    if (Header.Zip64Local || Out().Position() >= kZip32Limit) MarkZip64(Header);
    WriteLocalHeader(Header);
}

// The file's data, stored or deflated, and the CRC and sizes that describe it.
void TZipWriter::WriteData(TZipHeaderInfo& Header) {
    if (VolumesOn()) OpenStaging();
    FRun->Crc = 0xFFFFFFFFu;
    const bool store = FPackLevel <= 0 || IsNoCompress(Header.FileName());
    if (FRun->Ready) ReadAgainIfNeeded(store);
    if (store) {
        StoreFile();
        Header.CompressedSize = static_cast<uint64_t>(FRun->FileBytesTaken);
        Header.Method = 0;
        Header.InternalAttributes = 0;
    } else if (FRun->Ready) {
        WriteCompressedAhead(Header);
    } else {
        TDeflateEntryBits bits;
        bits.Flags = Header.Flags;
        bits.Method = Header.Method;
        bits.InternalAttributes = Header.InternalAttributes;
        TDeflateResult r = DeflateFile(FPackLevel > 9 ? 9 : FPackLevel, *FRun->DeflateBuffers,
                                       *FDeflateTables, *this, bits);
        Header.Flags = bits.Flags;
        Header.Method = bits.Method;
        Header.InternalAttributes = bits.InternalAttributes;
        Header.CompressedSize = r.CompressedSize;
    }
    Header.CRC = FRun->Crc ^ 0xFFFFFFFFu;
    // What was actually read, not what the file measured when it was opened.
    Header.UncompressedSize = static_cast<uint64_t>(FRun->FileBytesTaken);
}

// The placeholder overwritten with the final header, which has the same length.
void TZipWriter::PatchLocalHeader(const std::string& Name, TZipHeaderInfo& Header) {
    if (!Header.Zip64Local && LocalNeedsZip64(Header))
        throw EZipError("File grew beyond 4 GiB while it was read: " + Name);
    const int64_t after = Out().Position();
    Out().Seek(Header.RelativeOffset, soBeginning);
    WriteLocalHeader(Header);
    Out().Seek(after, soBeginning);
}

void TZipWriter::MarkZip64(TZipHeaderInfo& Header) {
    Header.VersionNeeded = kZip64Version;
    // The host stays: a Unix entry still carries its mode.
    Header.VersionMadeBy = static_cast<uint16_t>((Header.VersionMadeBy & 0xFF00) | kZip64Version);
}

// A new entry's extra blocks other than Zip64 (its timestamp) are the same in both headers.
void TZipWriter::WriteLocalHeader(TZipHeaderInfo& Header) {
    Header.SaveLocalToStream(Out());
    if (Header.Zip64Local) WriteZip64LocalExtra(Out(), Header);
    if (!Header.CentralExtra.empty())
        Out().WriteBuffer(Header.CentralExtra.data(),
                          static_cast<int32_t>(Header.CentralExtra.size()));
}

void TZipWriter::StoreFile() {
    uint8_t buffer[kStorePiece];
    for (;;) {
        uint32_t n = ReadInput(buffer, kStorePiece);
        if (n == 0) break;
        WriteOutput(buffer, n);
    }
}

uint32_t TZipWriter::ReadInput(uint8_t* Buffer, uint16_t Count) {
    // A file ends where it ended when it was opened: a log that grows while it is read would
    // otherwise be read for as long as it grows (CheckUnchanged reports it).
    const int64_t left = FRun->SourceSizeAtOpen - FRun->FileBytesTaken;
    if (left <= 0) return 0;
    if (left < Count) Count = static_cast<uint16_t>(left);
    int32_t n = FRun->Input().Read(Buffer, Count);
    if (n <= 0) return 0;
    NoteBytesRead(static_cast<uint32_t>(n));
    FRun->Crc = Crc32Update(FRun->Crc, Buffer, static_cast<size_t>(n));
    return static_cast<uint32_t>(n);
}

void TZipWriter::NoteBytesRead(uint32_t N) {
    const int64_t n = N;
    FRun->FileBytesTaken += n;
    if (OnFilePercentDone) {
        FRun->FileBytesRead += n;
        int percent = PercentOf(static_cast<int64_t>(FRun->CurrentHeader->UncompressedSize),
                                FRun->FileBytesRead);
        if (VolumesOn()) percent /= 2;
        OnFilePercentDone(*this, percent);
    }
    if (OnTotalPercentDone) {
        FRun->BytesDone += n;
        OnTotalPercentDone(*this, PercentOf(FRun->TotalBytes, FRun->BytesDone));
    }
}

void TZipWriter::WriteOutput(const uint8_t* Buffer, uint32_t Count) {
    TStream& target = FRun->Stage ? static_cast<TStream&>(*FRun->Stage) : Out();
    if (Count > 0 &&
        target.Write(Buffer, static_cast<int32_t>(Count)) != static_cast<int32_t>(Count))
        throw ENotEnoughRoom(sidNotEnoughRoom);
    if (DoProcessMessages()) {
        UiHooks().ProcessMessages();
        if (CancelRequested()) {
            SetCancelRequested(false);
            throw EUserCanceled(sidUserAborted);
        }
    }
}

}  // namespace qm
