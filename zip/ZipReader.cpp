#include "zip/ZipReader.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/SystemFolders.h"
#include "platform/UiHooks.h"
#include "zip/BufferedFileStream.h"
#include "zip/format/DateUtils.h"
#include "zip/format/RecordIO.h"

namespace qm {

using detail::Get16;
using detail::Get32;
using detail::Get64;
using detail::kMax16;
using detail::ReadExactly;

namespace {

constexpr unsigned kReadMode = fmOpenRead | fmShareDenyWrite;
// A self-extracting archive starts with its program; local headers come after it.
constexpr int64_t kSfxScanStart = 14000;
// How many skipped bytes of a rebuild scan go by between two looks at the user interface.
constexpr uint64_t kScanCheckInterval = 10240;

// The scans read this much of the file at a time.
constexpr int32_t kScanWindowSize = 65536;

// Reads Stream from Start in windows and calls Test(Bytes, Position) at every position that has
// at least Need bytes before End, in order, until Test returns true; returns that position, or
// -1. Each window overlaps the next by the bytes a test needs beyond its first.
template <typename TTest>
int64_t ScanWindows(TStream& Stream, int64_t Start, int64_t End, int Need, TTest Test) {
    std::vector<unsigned char> window(kScanWindowSize);
    int64_t position = Start;
    while (position + Need <= End) {
        Stream.Seek(position, soBeginning);
        const int32_t want =
            static_cast<int32_t>(std::min<int64_t>(End - position, std::ssize(window)));
        const int32_t got = std::max<int32_t>(Stream.Read(window.data(), want), 0);
        if (got < Need) break;
        int32_t i = 0;
        for (; i + Need <= got; ++i)
            if (Test(window.data() + i, position + i)) return position + i;
        position += i;
    }
    return -1;
}

// The extension of a file name: from its last "." after the last "/", or empty.
size_t ExtensionStart(const std::string& Name) {
    const size_t dot = Name.rfind('.');
    const size_t slash = Name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string::npos;
    return dot;
}

std::string ChangeFileExt(const std::string& Name, const std::string& Extension) {
    const size_t dot = ExtensionStart(Name);
    return (dot == std::string::npos ? Name : Name.substr(0, dot)) + Extension;
}

bool HasExeExtension(const std::string& Name) {
    const size_t dot = ExtensionStart(Name);
    if (dot == std::string::npos) return false;
    std::string ext = Name.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext == ".EXE";
}

}  // namespace

TZipReader::TZipReader() : FEndCentral(std::make_unique<TEndCentral>()) {
    // Not bound to this object: a copied handler asks the component that fires it.
    OnGetNextDisk = [](TZipReader& Sender, int NextDisk, std::string& FName) {
        Sender.DefaultGetNextDisk(Sender, NextDisk, FName);
    };
}

TZipReader::~TZipReader() {
    ClearZip();
}

void TZipReader::Assign(const TZipReader& Source) {
    if (&Source == this) return;
    FZipName = Source.FZipName;
    FDestDir = Source.FDestDir;
    FRootDir = Source.FRootDir;
    FSortMode = Source.FSortMode;
    FRecreateDirs = Source.FRecreateDirs;
    FOverwriteMode = Source.FOverwriteMode;
    FFilesList = Source.FFilesList;
    FDoAll = Source.FDoAll;
    FIncompleteZipMode = Source.FIncompleteZipMode;
    FKeepZipOpen = Source.FKeepZipOpen;
    FDoProcessMessages = Source.FDoProcessMessages;
    FRetainAttributes = Source.FRetainAttributes;
    FReplaceReadOnly = Source.FReplaceReadOnly;
    OnFilePercentDone = Source.OnFilePercentDone;
    OnTotalPercentDone = Source.OnTotalPercentDone;
    OnInCompleteZip = Source.OnInCompleteZip;
    OnGetNextDisk = Source.OnGetNextDisk;
}

void TZipReader::Loaded() {
    FThisVersion = kThisVersion;
}

void TZipReader::SetZipName(const std::string& Value) {
    if (Value == FZipName) return;
    std::string name = Value;
    if (!name.empty() && name.back() == '?') {
        TFileDialogOptions options;
        options.Title = ZipMessage(sidOpenZipTitle);
        options.Filter = ZipMessage(sidOpenZipFilter);
        options.OverwritePrompt = false;
        const size_t slash = Value.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : Value.substr(0, slash + 1);
        options.InitialDir = !folder.empty() && DirectoryExists(folder) ? folder : "/";
        std::string chosen;
        if (!UiHooks().OpenFileDialog(options, chosen)) throw EUserCanceled(sidCanceledZipName);
        name = chosen;
    }
    FZipName = name;
    DropDirectory();
    FArchiveDate = 0;
    FEndCentral->Clear();
    FArchiveStream.reset();
    FRebuilt = false;
}

void TZipReader::SetDestDir(const std::string& Value) {
    std::string dir = Value;
    if (dir == "?") {
        std::string start = FDestDir;
        if (!DirectoryExists(FDestDir + "/")) start = GetCurrentDir();
        if (!UiHooks().SelectFolderDialog("", start)) throw EUserCanceled(sidCanceledDestDir);
        dir = start;
    }
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    FDestDir = dir;
}

void TZipReader::SetRootDir(const std::string& Value) {
    FRootDir = Value;
    if (!FRootDir.empty() && FRootDir.back() != '/') FRootDir += '/';
}

void TZipReader::DefaultGetNextDisk(TZipReader&, int NextDisk, std::string& FName) {
    if (MultiMode() == mmSpan) {
        UiHooks().SetBusyCursor(false);
        const std::string text =
            ZipMessage(sidInsertDisk) + std::to_string(NextDisk) + ZipMessage(sidOfMultiDiskSet);
        if (UiHooks().MessageBox("", text, miNone, mbOK | mbCancel, idOk) == idCancel)
            FName.clear();
        UiHooks().SetBusyCursor(true);
        return;
    }
    char extension[16];
    std::snprintf(extension, sizeof extension, ".%3.3d", NextDisk);
    FName = ChangeFileExt(FName, extension);
}

// ---- Opening and closing ---------------------------------------------------------------

TDateTime TZipReader::FileDateOf(const TStream& Stream) {
    int handle = -1;
    if (auto* buffered = dynamic_cast<const TBufferedFileStream*>(&Stream))
        handle = buffered->Handle();
    else if (auto* file = dynamic_cast<const THandleStream*>(&Stream))
        handle = file->Handle();
    if (handle < 0) return 0;
    TDateTime value = 0;
    if (!TryDosDateTimeToDateTime(ClampDosDateTime(FileAgeOfHandle(handle)), value)) return 0;
    return value;
}

void TZipReader::OpenZip() {
    if (!FArchiveStream)
        FArchiveStream =
            std::make_unique<TBufferedFileStream>(FZipName, kReadMode, FFlushFilesOnClose);
    if (FEntryList && (FDirectoryHeld || FileDateOf(*FArchiveStream) == FArchiveDate)) return;
    ReadZip(*FArchiveStream);
}

void TZipReader::CloseZip() {
    if (!FKeepZipOpen) FArchiveStream.reset();
}

void TZipReader::ClearZip() {
    FArchiveStream.reset();
    DropDirectory();
    FEndCentral->Clear();
    FRebuilt = false;
    FArchiveDate = 0;
    FNumberOfDisks = 1;
    SetMultiMode(mmNone);
    FZipName.clear();
}

void TZipReader::DropDirectory() {
    FSeparateView.reset();
    FSortedView = nullptr;
    FEntryList.reset();
}

void TZipReader::SetEntryList(std::unique_ptr<TSortedZip> List) {
    DropDirectory();
    FEntryList = std::move(List);
    FSortedView = FEntryList.get();
}

// ---- Reading the directory -------------------------------------------------------------

void TZipReader::ReadZip(TStream& Stream) {
    FArchiveDate = FileDateOf(Stream);
    DropDirectory();
    FRebuilt = false;
    FEndCentral->Clear();

    TStream* stream = &Stream;
    std::unique_ptr<TBufferedFileStream> directoryFile;
    bool found = FEndCentral->FindInStream(Stream);
    if (!found && !FZipName.empty()) {
        const std::string zfcName = ChangeFileExt(FZipName, ".zfc");
        if (FileExists(zfcName)) {
            directoryFile =
                std::make_unique<TBufferedFileStream>(zfcName, kReadMode, FFlushFilesOnClose);
            FEndCentral->Clear();
            if (FEndCentral->FindInStream(*directoryFile)) {
                found = true;
                stream = directoryFile.get();
            } else {
                directoryFile.reset();
            }
        }
    }
    const bool fromDirectoryFile = directoryFile != nullptr;

    if (!found) {
        const TIncompleteZipMode mode = FireInCompleteZip();
        if (mode == izAssumeNotAZip) throw ENotAZipFile(sidNotAValidZip);
        if (mode != izAssumeBad) throw EIncompleteZip(sidIncompleteZip);
        RebuildOrRaise(*stream);
    } else {
        const TEndCentral& end = *FEndCentral;
        FCurrentDisk = fromDirectoryFile ? 0 : LastDisk();
        // No drive letters here, so no removable drive: a volume set is read as blocks.
        SetMultiMode(end.ThisDisk == 0 ? mmNone : mmBlocks);
        if (end.TotalEntries > 0) {
            if (MultiMode() != mmNone && !fromDirectoryFile &&
                static_cast<int64_t>(end.CentralDisk) != FCurrentDisk)
                stream = LoadVolume(static_cast<int>(std::min<uint32_t>(end.CentralDisk, kMax16)));
            const uint64_t offset = fromDirectoryFile ? 0 : end.CentralOffset;
            bool signature = false;
            if (offset <= static_cast<uint64_t>(stream->Size())) {
                stream->Seek(static_cast<int64_t>(offset), soBeginning);
                unsigned char sig[4];
                signature = ReadExactly(*stream, sig, 4) && Get32(sig) == kCentralHeaderSignature;
                if (signature) stream->Seek(-4, soCurrent);
            }
            if (!signature) HandleBrokenDirectory(stream);
        }
    }

    if (!FEntryList) SetEntryList(std::make_unique<TSortedZip>(dupError));
    ReadCentralDirectory(stream, fromDirectoryFile);

    const bool multi = MultiMode() != mmNone && !FRebuilt;
    if ((multi || fromDirectoryFile) && FEndCentral->HasComment() &&
        !FEndCentral->HasCommentText()) {
        if (!fromDirectoryFile && FCurrentDisk != LastDisk()) stream = LoadVolume(LastDisk());
        LoadZipCommentFrom(*stream);
    }
    if (multi && !fromDirectoryFile && FCurrentDisk != LastDisk()) LoadVolume(LastDisk());
    FNumberOfDisks = LastDisk() + 1;
    FCurrentDisk = fromDirectoryFile ? 0 : FNumberOfDisks - 1;
    Sort(FSortMode);
}

void TZipReader::ReadCentralDirectory(TStream*& Stream, bool FromDirectoryFile) {
    const bool multi = MultiMode() != mmNone && !FromDirectoryFile;
    uint64_t total = FEndCentral->TotalEntries;
    for (uint64_t i = 0; i < total; ++i) {
        TNextVolume next;
        if (multi && !FRebuilt) {
            next = [this, &Stream]() -> TStream* {
                if (FCurrentDisk + 1 > LastDisk()) return nullptr;
                Stream = LoadVolume(FCurrentDisk + 1);
                return Stream;
            };
        }
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!entry->ReadCentralFromStream(*Stream, next)) {
            // A rebuilt directory stands on its own: central records only complete it, and
            // the first one that cannot be read ends that (rebuilding again would find the
            // same headers and stop at the same place).
            if (FRebuilt) break;
            HandleBrokenDirectory(Stream);
            total = FEndCentral->TotalEntries;
            i = static_cast<uint64_t>(-1);
            continue;
        }
        if (FRebuilt) {
            MergeRebuiltEntry(*entry);
            continue;
        }
        if ((multi || FromDirectoryFile) && entry->HasComment())
            LoadEntryCommentFrom(*Stream, *entry);
        FEntryList->Add(std::move(entry));
    }
}

void TZipReader::MergeRebuiltEntry(const TZipHeaderInfo& Central) {
    int index = 0;
    if (!FEntryList->Find(Central, index)) return;
    TZipHeaderInfo& entry = *FEntryList->Items(index);
    // What the local header knows better: where it is and what follows its name.
    const int64_t offset = entry.RelativeOffset;
    const uint16_t localExtra = entry.LocalExtraLength;
    const bool zip64Local = entry.Zip64Local;
    entry.Assign(Central);
    entry.RelativeOffset = offset;
    entry.LocalExtraLength = localExtra;
    entry.Zip64Local = zip64Local;
}

TIncompleteZipMode TZipReader::FireInCompleteZip() {
    if (OnInCompleteZip) {
        TIncompleteZipMode mode = FIncompleteZipMode;
        OnInCompleteZip(*this, mode);
        FIncompleteZipMode = mode;
    }
    return FIncompleteZipMode;
}

void TZipReader::HandleBrokenDirectory(TStream*& Stream) {
    if (FireInCompleteZip() != izAssumeBad) throw EBadZipFile(sidNotAValidZip);
    RebuildOrRaise(*Stream);
}

void TZipReader::RebuildOrRaise(TStream& Stream) {
    if (RebuildFromLocalHeaders(Stream)) return;
    UiHooks().SetBusyCursor(false);
    ClearZip();
    throw EBadZipFile(sidNotAValidZip);
}

bool TZipReader::RebuildFromLocalHeaders(TStream& Stream) {
    FRebuilt = true;
    DropDirectory();

    const int64_t size = Stream.Size();
    uint64_t skipped = 0;
    // A match is the signature and the version needed.
    constexpr int kMatchBytes = kLocalVersionNeededAt + 2;
    const int64_t signatureAt =
        ScanWindows(Stream, HasExeExtension(FZipName) ? kSfxScanStart : 0, size, kMatchBytes,
                    [&](const unsigned char* B, int64_t) {
                        if (B[0] != 'P') {
                            if (++skipped % kScanCheckInterval == 0 && FDoProcessMessages) {
                                UiHooks().ProcessMessages();
                                if (FCancelRequested) {
                                    FCancelRequested = false;
                                    throw EUserCanceled(sidUserAborted);
                                }
                            }
                            return false;
                        }
                        return Get32(B) == kLocalHeaderSignature &&
                               B[kLocalVersionNeededAt + 1] < kScanVersionHighByteLimit;
                    });
    if (signatureAt < 0) return false;

    Stream.Seek(signatureAt, soBeginning);
    SetEntryList(std::make_unique<TSortedZip>(dupError));
    for (;;) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!entry->ReadLocalFromStream(Stream)) break;
        const uint64_t here = static_cast<uint64_t>(Stream.Position());
        uint64_t skip = entry->CompressedSize + entry->LocalExtraLength;
        if (entry->HasDataDescriptor()) {
            // The descriptor after the data: 8 bytes longer with Zip64 sizes, and 4 shorter
            // without its optional signature. A wrong length would lose every entry after it.
            unsigned char signature[4] = {};
            Stream.Seek(static_cast<int64_t>(here + skip), soBeginning);
            const bool signed_ =
                Stream.Read(signature, 4) == 4 && Get32(signature) == kDataDescriptorSignature;
            skip += (entry->Zip64Local ? kZip64DataDescriptorSize : kDataDescriptorSize) -
                    (signed_ ? 0 : 4);
            // A streamed entry has no sizes in its header: they follow its data.
            if (entry->CompressedSize == 0) {
                const int64_t dataStart = static_cast<int64_t>(here) + entry->LocalExtraLength;
                const int64_t found = FindDataDescriptor(Stream, dataStart, size, *entry);
                if (found >= 0) skip = static_cast<uint64_t>(found) - here;
            }
        }
        FEntryList->Add(std::move(entry));
        const uint64_t left = here < static_cast<uint64_t>(size) ? size - here : 0;
        Stream.Seek(static_cast<int64_t>(here + std::min(skip, left)), soBeginning);
    }
    FEndCentral->ThisDisk = 0;
    FCurrentDisk = 0;
    FEndCentral->CentralOffset = static_cast<uint64_t>(Stream.Position());
    FEndCentral->TotalEntries = static_cast<uint64_t>(FEntryList->Count());
    FNumberOfDisks = 1;
    return true;
}

int64_t TZipReader::FindDataDescriptor(TStream& Stream, int64_t DataStart, int64_t Size,
                                       TZipHeaderInfo& Entry) {
    // The compressed size must equal the distance from the data's start: that tells a
    // descriptor from the same bytes inside the data.
    const int descriptorSize = Entry.Zip64Local ? kZip64DataDescriptorSize : kDataDescriptorSize;
    const int64_t found = ScanWindows(
        Stream, DataStart, Size, descriptorSize, [&](const unsigned char* D, int64_t At) {
            if (D[0] != 'P' || Get32(D) != kDataDescriptorSignature) return false;
            const uint64_t distance = static_cast<uint64_t>(At - DataStart);
            const uint64_t compressed = Entry.Zip64Local ? Get64(D + kDescriptorCompressedAt)
                                                         : Get32(D + kDescriptorCompressedAt);
            if (compressed != distance) return false;
            Entry.CRC = Get32(D + kDescriptorCrcAt);
            Entry.CompressedSize = compressed;
            Entry.UncompressedSize = Entry.Zip64Local ? Get64(D + kZip64DescriptorUncompressedAt)
                                                      : Get32(D + kDescriptorUncompressedAt);
            return true;
        });
    return found < 0 ? -1 : found + descriptorSize;
}

TStream* TZipReader::LoadVolume(int Disk) {
    std::string name = FZipName;
    if (Disk != LastDisk()) {
        if (OnGetNextDisk) OnGetNextDisk(*this, Disk + 1, name);
        if (name.empty()) throw EUserCanceled(sidCanceledZipOp);
    }
    FArchiveStream.reset();
    FArchiveStream = std::make_unique<TBufferedFileStream>(name, kReadMode, FFlushFilesOnClose);
    FCurrentDisk = Disk;
    return FArchiveStream.get();
}

int TZipReader::LastDisk() const {
    return static_cast<int>(std::min<uint32_t>(FEndCentral->ThisDisk, kMax16));
}

// ---- Entries and comments ----------------------------------------------------------------

int TZipReader::Count() const {
    return FEntryList ? FEntryList->Count() : 0;
}

void TZipReader::Sort(TZipSortMode Mode) {
    FSeparateView.reset();
    FSortedView = FEntryList.get();
    if (FEntryList && Mode != ByNone) {
        auto view = std::make_unique<TSortedZip>(dupAccept, false);
        view->SortMode = Mode;
        for (int i = 0; i < FEntryList->Count(); ++i) view->Add(FEntryList->Items(i));
        FSeparateView = std::move(view);
        FSortedView = FSeparateView.get();
    }
    FSortMode = Mode;
}

void TZipReader::CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count() || !FSortedView) RaiseIndexOutOfRange(Index);
}

TDateTime TZipReader::GetEntryDateTime(int Index) {
    CheckIndex(Index);
    TDateTime value = 0;
    if (TryDosDateTimeToDateTime(FSortedView->Items(Index)->DateTime, value)) return value;
    return Now();
}

void TZipReader::LoadEntryCommentFrom(TStream& Stream, TZipHeaderInfo& Entry) {
    const int64_t back = Stream.Position();
    const int64_t size = Stream.Size();
    TCentralRecord record{};
    bool ok = Entry.CentralOffset <= static_cast<uint64_t>(size);
    if (ok) {
        Stream.Seek(static_cast<int64_t>(Entry.CentralOffset), soBeginning);
        ok = ReadExactly(Stream, record.data(), kCentralHeaderSize) &&
             Get32(record.data()) == kCentralHeaderSignature;
    }
    std::string comment;
    if (ok) {
        const int64_t skip = Get16(record.data() + kCentralNameLengthAt) +
                             Get16(record.data() + kCentralExtraLengthAt);
        const int64_t at = Stream.Position() + skip;
        ok = at + Entry.CommentLength <= size;
        if (ok) {
            Stream.Seek(at, soBeginning);
            comment.resize(Entry.CommentLength);
            ok = ReadExactly(Stream, comment.data(), Entry.CommentLength);
        }
    }
    Stream.Seek(back, soBeginning);
    if (!ok) throw EBadZipFile(sidNotAValidZip);
    Entry.SetFileComment(comment);
}

void TZipReader::LoadZipCommentFrom(TStream& Stream) {
    TEndCentral& end = *FEndCentral;
    const int64_t back = Stream.Position();
    std::string comment(end.CommentLength, '\0');
    bool ok = end.CommentPosition + end.CommentLength <= static_cast<uint64_t>(Stream.Size());
    if (ok) {
        Stream.Seek(static_cast<int64_t>(end.CommentPosition), soBeginning);
        ok = ReadExactly(Stream, comment.data(), end.CommentLength);
    }
    Stream.Seek(back, soBeginning);
    if (!ok) throw EBadZipFile(sidNotAValidZip);
    end.SetComment(comment);
}

std::string TZipReader::GetEntryComment(int Index) {
    CheckIndex(Index);
    const TZipHeaderInfo* entry = FSortedView->Items(Index);
    if (entry->CommentLength == 0) return {};
    if (entry->HasCommentText()) return entry->Comment();
    try {
        OpenZip();
        // OpenZip may have read the directory again: look the entry up afresh.
        CheckIndex(Index);
        TZipHeaderInfo& current = *FSortedView->Items(Index);
        if (current.CommentLength != 0 && !current.HasCommentText())
            LoadEntryCommentFrom(*FArchiveStream, current);
    } catch (...) {
        CloseZip();
        throw;
    }
    CloseZip();
    return FSortedView->Items(Index)->Comment();
}

void TZipReader::SetEntryComment(int Index, const std::string& Text) {
    CheckIndex(Index);
    TZipHeaderInfo& entry = *FSortedView->Items(Index);
    if (Text == entry.Comment()) return;
    entry.SetFileComment(Text);
    FEndCentral->CommentChanged = true;
}

std::string TZipReader::GetZipComment() {
    if (FEndCentral->CommentLength == 0) return {};
    if (FEndCentral->HasCommentText()) return FEndCentral->Comment();
    try {
        OpenZip();
        if (FEndCentral->CommentLength != 0 && !FEndCentral->HasCommentText())
            LoadZipCommentFrom(*FArchiveStream);
    } catch (...) {
        CloseZip();
        throw;
    }
    CloseZip();
    return FEndCentral->Comment();
}

void TZipReader::SetZipComment(const std::string& Text) {
    if (Text == FEndCentral->Comment()) return;
    FEndCentral->SetComment(Text);
    FEndCentral->CommentChanged = true;
}

}  // namespace qm
