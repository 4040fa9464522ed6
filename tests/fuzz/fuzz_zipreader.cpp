// The archive reader on arbitrary files: ReadZip and the comment loaders end in a result or a
// named exception (never a crash, an out-of-buffer read, an endless loop or a runaway
// allocation), and every entry and end record read writes back as a record that reads the same.
//
// Input: byte 0 chooses the incomplete-archive mode, byte 1 the sort mode; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "zip/ZipErrors.h"
#include "zip/ZipReader.h"

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

// A memory-backed folder keeps the file writes of each run cheap.
std::string ArchiveName() {
    static const std::string name = [] {
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/qm-fuzz-zipreader-" + std::to_string(getpid()) + ".zip";
    }();
    return name;
}

void WriteFile(const std::string& Name, const uint8_t* Data, size_t Size) {
    FILE* f = std::fopen(Name.c_str(), "wb");
    Check(f != nullptr);
    Check(Size == 0 || std::fwrite(Data, 1, Size, f) == Size);
    Check(std::fclose(f) == 0);
}

// Writes the entry's central record and reads it back: the two must agree.
void CheckCentralRoundTrip(const qm::TZipHeaderInfo& Entry) {
    if (Entry.StoredName().size() > 0xFFFF || Entry.CentralExtra.size() > 0xFFFF - 32) return;
    qm::TZipHeaderInfo copy;
    copy.Assign(Entry);
    qm::TMemoryStream s;
    copy.SaveCentralToStream(s);
    Check(static_cast<uint64_t>(s.Size()) == copy.CentralRecordSize());
    s.Seek(0, qm::soBeginning);
    qm::TZipHeaderInfo back;
    Check(back.ReadCentralFromStream(s));
    Check(s.Position() == s.Size());
    Check(back.StoredName() == Entry.StoredName());
    Check(back.CompressedSize == Entry.CompressedSize);
    Check(back.UncompressedSize == Entry.UncompressedSize);
    Check(back.RelativeOffset == Entry.RelativeOffset);
    Check(back.DiskNumberStart == Entry.DiskNumberStart);
    Check(back.CRC == Entry.CRC);
    Check(back.DateTime == Entry.DateTime);
    Check(back.ExternalAttributes == Entry.ExternalAttributes);
    Check(back.CentralExtra == Entry.CentralExtra);
}

void CheckEndRoundTrip(const qm::TEndCentral& End) {
    qm::TEndCentral copy;
    copy.Assign(End);
    qm::TMemoryStream s;
    copy.SaveToStream(s);
    Check(static_cast<uint64_t>(s.Size()) == copy.EndRecordSize());
    qm::TEndCentral back;
    Check(back.FindInStream(s));
    Check(back.TotalEntries == End.TotalEntries);
    Check(back.CentralOffset == End.CentralOffset);
    Check(back.CentralSize == End.CentralSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 2) return 0;
    const auto mode = static_cast<qm::TIncompleteZipMode>(Data[0] % 3);
    const auto sortMode = static_cast<qm::TZipSortMode>(Data[1] % 8);
    const std::string name = ArchiveName();
    WriteFile(name, Data + 2, Size - 2);

    qm::TZipReader reader;
    reader.SetIncompleteZipMode(mode);
    reader.SetSortMode(sortMode);
    reader.SetZipName(name);
    try {
        reader.OpenZip();
        Check(reader.Count() == (reader.SortedView() ? reader.SortedView()->Count() : 0));
        for (int i = 0; i < reader.Count(); ++i) {
            const std::string comment = reader.GetEntryComment(i);
            const qm::TZipHeaderInfo& entry = *reader.SortedView()->Items(i);
            Check(comment.size() == entry.CommentLength);
            reader.GetEntryDateTime(i);
            CheckCentralRoundTrip(entry);
        }
        const std::string comment = reader.GetZipComment();
        Check(comment.size() == reader.EndCentral().CommentLength);
        CheckEndRoundTrip(reader.EndCentral());
    } catch (const qm::EZipError&) {
    } catch (const qm::EListError&) {
    } catch (const qm::EStreamError&) {
    }
    return 0;
}
