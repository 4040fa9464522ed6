// Rebuilding an existing archive: carrying the old entries over, and putting the new archive
// in the old one's place without ever leaving the back-up missing.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>

#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/SystemFolders.h"
#include "platform/TempFile.h"
#include "zip/BufferStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/StoredPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"
#include "zip/ZipWriterRun.h"
#include "zip/format/DateUtils.h"
#include "zip/format/RecordIO.h"
#include "zip/format/SortedZip.h"
#include "zip/walk/PathUtils.h"

namespace qm {

std::string TZipWriter::ChooseTempFolder() const {
    if (!FTempPath.empty() && DirectoryExists(FTempPath)) return FTempPath;
    return GetTempFolder();
}

void TZipWriter::OpenOldArchive() {
    OpenZip();
    // Reading the last volume of a set switches the reader (and so the writer) to volume mode.
    // Its entries lie in other files that an update cannot copy from, and the run must not
    // start writing volumes half-way through.
    if (MultiMode() != mmNone) {
        SetMultiMode(mmNone);
        throw EZipError("Cannot update " + ZipName() + ": it is part of a multi-volume archive");
    }
}

namespace {

// Two names that share a hash are told apart by comparing them.
uint32_t NameHash(const std::string& Name) {
    const uint64_t h = std::hash<std::string>{}(Name);
    return static_cast<uint32_t>(h ^ h >> 32);
}

}  // namespace

TZipWriter::TLinesByName TZipWriter::IndexLinesByName() const {
    TLinesByName index;
    index.reserve(FRun->Lines.size());
    for (size_t j = 0; j < FRun->Lines.size(); ++j)
        index.emplace_back(NameHash(StoredNameOfLine(FRun->Lines[j])), static_cast<uint32_t>(j));
    std::sort(index.begin(), index.end());
    return index;
}

size_t TZipWriter::MatchingLine(const TZipHeaderInfo& Entry, const TLinesByName& LinesByName,
                                std::vector<bool>& Used) const {
    // The lines that get the entry's name, in list order; failing those, the lines that get the
    // name as its bytes were read (a code page 437 name).
    const std::string names[2] = {Entry.StoredName(), Entry.StoredNameBytes()};
    for (const std::string& name : names) {
        const uint32_t hash = NameHash(name);
        auto it = std::lower_bound(LinesByName.begin(), LinesByName.end(),
                                   std::make_pair(hash, uint32_t{0}));
        bool named = false;  // some line gets this name
        for (; it != LinesByName.end() && it->first == hash; ++it) {
            const size_t j = it->second;
            if (StoredNameOfLine(FRun->Lines[j]) != name) continue;  // another name, same hash
            named = true;
            if (!Used[j]) {
                Used[j] = true;
                return j;
            }
        }
        if (named || names[1] == names[0]) break;
    }
    return SIZE_MAX;
}

bool TZipWriter::ReplacesEntry(const TZipHeaderInfo& Entry, size_t Line) const {
    if (FZipAction == zaReplace) return true;
    TDateTime entryDate = 0;
    if (!TryDosDateTimeToDateTime(Entry.DateTime, entryDate)) entryDate = Now();
    return entryDate < GetFileDateTime(FRun->Lines[Line]);
}

// The files the merge will deflate, in the order it will come to them, for the workers to go
// ahead on. A file that changes its time meanwhile makes the plan wrong, which costs only the
// workers' help: a file the writer asks for out of plan is one it compresses itself.
void TZipWriter::PlanReplacements(const std::deque<std::unique_ptr<TZipHeaderInfo>>& Entries,
                                  const TLinesByName& LinesByName) {
    if (!CompressAheadWanted()) return;
    std::vector<bool> used(FRun->Lines.size(), false);
    for (const auto& old : Entries) {
        const TZipHeaderInfo& entry = *old;
        const size_t line = MatchingLine(entry, LinesByName, used);
        if (line != SIZE_MAX && ReplacesEntry(entry, line) && DeflatesLine(FRun->Lines[line]))
            FRun->Plan.push_back(line);
    }
    FRun->Merging = true;
    StartCompressAhead();
}

void TZipWriter::MergeExistingEntries() {
    // Each old entry moves from the old directory into the new one (a kept entry) or is freed
    // (a replaced one), so that an update never holds two directories of a million entries.
    // A run that fails reads the old directory again. A handler that reads the archive
    // meanwhile must not make OpenZip read the directory again.
    FRun->OldEntriesTaken = true;
    SetDirectoryHeld(true);
    std::deque<std::unique_ptr<TZipHeaderInfo>> entries = EntryList()->TakeAll();
    TLinesByName linesByName = IndexLinesByName();
    PlanReplacements(entries, linesByName);
    std::vector<bool> used(FRun->Lines.size(), false);

    const int count = static_cast<int>(entries.size());
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<TZipHeaderInfo> entry = std::move(entries.front());
        entries.pop_front();
        // From the archive held open for the run: never through OpenZip, which would read the
        // directory again if the archive's date had changed.
        if (entry->HasComment() && !entry->HasCommentText())
            LoadEntryCommentFrom(*ArchiveStream(), *entry);

        const size_t line = MatchingLine(*entry, linesByName, used);
        bool keep = true;
        if (line != SIZE_MAX) {
            if (!ReplacesEntry(*entry, line)) {
                // Planned and kept after all (its time changed since): the workers' copy is
                // dropped, so that the files after it are still theirs.
                if (FRun->Ahead) FRun->Ahead->Take(FRun->Lines[line]);
                if (OnUpdate) OnUpdate(*this, uaKeeping, i);
            } else {
                if (OnUpdate) OnUpdate(*this, uaReplacing, i);
                FeedCompressAhead();
                auto header = std::make_unique<TZipHeaderInfo>();
                if (ZipOneFile(FRun->Lines[line], *header)) {
                    RecordEntry(std::move(header), FRun->Lines[line], true);
                    keep = false;
                } else if (OnUpdate) {
                    // Not written (cannot be opened, skipped, a duplicate name): the old entry
                    // is kept, so an update never loses what it did not replace, and the
                    // handler hears that the archive keeps the older copy after all.
                    OnUpdate(*this, uaKeeping, i);
                }
            }
        }
        if (keep) {
            CopyEntry(*entry);
            RecordEntry(std::move(entry), std::string(), false);
        }
    }
    SetDirectoryHeld(false);
    entries.clear();
    DropDirectory();
    TLinesByName().swap(linesByName);

    TLineList left;
    for (size_t j = 0; j < FRun->Lines.size(); ++j)
        if (!used[j]) left.push_back(FRun->Lines.View(j));
    FRun->Lines = std::move(left);
    // The workers go on with the rest of the list.
    FRun->Merging = false;
    FRun->Plan.clear();
    FRun->LinesFed = 0;
}

void TZipWriter::RestoreOldDirectory() noexcept {
    SetDirectoryHeld(false);
    try {
        if (ArchiveStream()) ReadZip(*ArchiveStream());
    } catch (...) {
        // Unreadable now: the next OpenZip reads it, or reports why it cannot.
        DropDirectory();
        SetArchiveDate(0);
    }
}

void TZipWriter::CopyEntry(TZipHeaderInfo& Entry) {
    TStream& in = *ArchiveStream();
    const int64_t archiveSize = in.Size();
    const int64_t offset = static_cast<int64_t>(Entry.RelativeOffset);
    // Offsets and sizes come from a file that may be damaged: never copy from outside it.
    if (offset < 0 || offset + kLocalHeaderSize > archiveSize) throw EBadZipFile(sidNotAValidZip);
    TLocalRecord local{};
    in.Seek(offset, soBeginning);
    if (!detail::ReadExactly(in, local.data(), kLocalHeaderSize) ||
        detail::Get32(local.data()) != kLocalHeaderSignature)
        throw EBadZipFile(sidNotAValidZip);
    const uint16_t nameLength = detail::Get16(local.data() + kLocalNameLengthAt);
    const uint16_t extraLength = detail::Get16(local.data() + kLocalExtraLengthAt);
    const int64_t dataStart = offset + kLocalHeaderSize + nameLength;
    const int64_t toCopy =
        static_cast<int64_t>(extraLength) + static_cast<int64_t>(Entry.CompressedSize);
    if (dataStart + toCopy > archiveSize) throw EBadZipFile(sidNotAValidZip);

    Entry.LocalExtraLength = extraLength;
    // The new local header carries the true sizes and CRC, so a data descriptor of the old
    // entry (which is not copied) must no longer be announced.
    Entry.Flags = static_cast<uint16_t>(Entry.Flags & ~kFlagDataDescriptor);
    EnsureRoom(static_cast<int64_t>(Entry.LocalRecordSize()) + 1);
    Entry.DiskNumberStart = static_cast<uint32_t>(FRun->Volume);
    Entry.SaveLocalToStream(Out());
    if (toCopy > 0) {
        in.Seek(dataStart, soBeginning);
        if (Out().CopyFrom(in, toCopy) != toCopy) throw EBadZipFile(sidNotAValidZip);
    }
}

void TZipWriter::ReplaceArchive() {
    // The new archive keeps the old one's mode, owner and group.
    const int error = ReplaceFile(FRun->OutFileName, FRun->Target, FNewArchiveMode);
    if (error != 0)
        throw EFCreateError("Cannot replace " + ZipName() + ": " + std::strerror(error));
    FRun->OutFileName.clear();
}

}  // namespace qm
