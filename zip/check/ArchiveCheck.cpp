#include "zip/check/ArchiveCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace qm {

namespace {

// Reading piece by piece: large enough that the system's read-ahead keeps up, small enough to
// stay in the cache while it is inflated.
constexpr size_t kPieceSize = size_t{1} << 18;

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kDescriptorSig = 0x08074B50;
constexpr uint16_t kZip64Id = 0x0001;
constexpr uint16_t kTimestampId = 0x5455;
constexpr uint16_t kDescriptorFlag = 0x0008;
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;

// A failed check: what is wrong, in a few words.
struct TCheckFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& Reason) {
    throw TCheckFailure(Reason);
}

uint16_t Le16(const unsigned char* P) {
    return static_cast<uint16_t>(P[0] | P[1] << 8);
}
uint32_t Le32(const unsigned char* P) {
    return Le16(P) | static_cast<uint32_t>(Le16(P + 2)) << 16;
}
uint64_t Le64(const unsigned char* P) {
    return Le32(P) | static_cast<uint64_t>(Le32(P + 4)) << 32;
}

class TFile {
  public:
    explicit TFile(const std::string& Name) : FFd(::open(Name.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat st {};
        if (FFd < 0 || ::fstat(FFd, &st) != 0)
            Fail(std::string("cannot read it: ") + std::strerror(errno));
        FSize = static_cast<uint64_t>(st.st_size);
    }
    ~TFile() {
        if (FFd >= 0) ::close(FFd);
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    uint64_t Size() const { return FSize; }

    // Exactly Count bytes at Offset, or the check fails.
    void ReadAt(uint64_t Offset, void* Buffer, size_t Count) const {
        if (Offset > FSize || Count > FSize - Offset)
            Fail("a record reaches beyond the end of the file");
        auto* out = static_cast<unsigned char*>(Buffer);
        while (Count > 0) {
            const ssize_t n = ::pread(FFd, out, Count, static_cast<off_t>(Offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                Fail(std::string("cannot read it: ") +
                     (n < 0 ? std::strerror(errno) : "short read"));
            out += n;
            Offset += static_cast<uint64_t>(n);
            Count -= static_cast<size_t>(n);
        }
    }
    std::vector<unsigned char> ReadAt(uint64_t Offset, size_t Count) const {
        std::vector<unsigned char> bytes(Count);
        ReadAt(Offset, bytes.data(), Count);
        return bytes;
    }

  private:
    int FFd;
    uint64_t FSize = 0;
};

struct TEntry {
    std::string Name;
    int64_t UnixTime = INT64_MIN;  // from the extended timestamp, when it has one
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t DateTime = 0;
    uint32_t Crc = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
    uint64_t Offset = 0;
    uint64_t DataStart = 0;
};

struct TDirectory {
    uint64_t Offset = 0;
    uint64_t Size = 0;
    uint64_t Entries = 0;
};

// The end record: the last "PK\5\6" whose comment ends the file exactly.
uint64_t FindEndRecord(const TFile& File) {
    if (File.Size() < kEndSize) Fail("no end of central directory record");
    const uint64_t span = std::min<uint64_t>(File.Size(), kEndSize + 0xFFFF);
    const std::vector<unsigned char> tail = File.ReadAt(File.Size() - span, span);
    for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
        if (Le32(&tail[at]) != kEndSig) continue;
        if (at + kEndSize + Le16(&tail[at + 20]) == tail.size()) return File.Size() - span + at;
    }
    Fail("no end of central directory record");
}

// Where the central directory lies, and where the records behind it begin (Zip64 end record or
// end record): the directory must end exactly there.
TDirectory ReadDirectoryPlace(const TFile& File, uint64_t EndAt, uint64_t& DirectoryEnd) {
    const std::vector<unsigned char> end = File.ReadAt(EndAt, kEndSize);
    if (Le16(&end[4]) != 0 || Le16(&end[6]) != 0) Fail("the end record names another volume");
    TDirectory dir{Le32(&end[16]), Le32(&end[12]), Le16(&end[10])};
    if (Le16(&end[8]) != Le16(&end[10])) Fail("the end record's entry counts disagree");
    DirectoryEnd = EndAt;
    if (EndAt >= kLocatorSize) {
        const std::vector<unsigned char> locator = File.ReadAt(EndAt - kLocatorSize, kLocatorSize);
        if (Le32(&locator[0]) == kZip64LocatorSig) {
            const uint64_t zip64At = Le64(&locator[8]);
            if (zip64At + kZip64EndSize != EndAt - kLocatorSize)
                Fail("the Zip64 end record is not where its locator says");
            const std::vector<unsigned char> z = File.ReadAt(zip64At, kZip64EndSize);
            if (Le32(&z[0]) != kZip64EndSig) Fail("the Zip64 end record's signature is wrong");
            if (Le64(&z[24]) != Le64(&z[32])) Fail("the Zip64 end record's entry counts disagree");
            dir = {Le64(&z[48]), Le64(&z[40]), Le64(&z[32])};
            DirectoryEnd = zip64At;
        }
    }
    if (dir.Offset > DirectoryEnd || DirectoryEnd - dir.Offset != dir.Size)
        Fail("the central directory does not end where the end record begins");
    return dir;
}

// The Zip64 values of an extra field, in their order, for the fields that are saturated, and
// the modification time of an extended timestamp.
void TakeExtra(const unsigned char* Extra, size_t Size, bool Local, TEntry& Entry) {
    for (size_t at = 0; at + 4 <= Size;) {
        const uint16_t id = Le16(Extra + at);
        const size_t length = Le16(Extra + at + 2);
        if (at + 4 + length > Size) Fail(Entry.Name + ": an extra field runs past its end");
        if (id == kTimestampId && length >= 5 && (Extra[at + 4] & 1) != 0)
            Entry.UnixTime = static_cast<int32_t>(Le32(Extra + at + 5));
        if (id == kZip64Id) {
            const unsigned char* p = Extra + at + 4;
            size_t left = length;
            auto next = [&](uint64_t& Field) {
                if (left < 8) Fail(Entry.Name + ": the Zip64 extra field is short");
                Field = Le64(p);
                p += 8;
                left -= 8;
            };
            if (Local || Entry.UncompressedSize == 0xFFFFFFFFu) next(Entry.UncompressedSize);
            if (Local || Entry.CompressedSize == 0xFFFFFFFFu) next(Entry.CompressedSize);
            if (!Local && Entry.Offset == 0xFFFFFFFFu) next(Entry.Offset);
        }
        at += 4 + length;
    }
}

// Where a central record starts: its number and its place in the directory.
struct TRecordMark {
    uint64_t Index = 0;
    uint64_t At = 0;
};

// The central records one after the other, read piece by piece: a directory of millions of
// entries is checked without holding it, or its entries, in memory.
class TDirectoryReader {
  public:
    TDirectoryReader(const TFile& File, const TDirectory& Dir, TRecordMark From = {})
        : FFile(File), FDir(Dir), FIndex(From.Index), FAt(From.At) {
        if (Dir.Size > File.Size()) Fail("the central directory is larger than the file");
    }

    TRecordMark Mark() const { return {FIndex, FAt}; }

    // The next record; false after the last one, when the directory must be used up exactly.
    bool Next(TEntry& E) {
        if (FIndex == FDir.Entries) {
            if (FAt != FDir.Size) Fail("the central directory holds more than its entries");
            return false;
        }
        const std::string number = std::to_string(++FIndex);
        const unsigned char* r = Bytes(kCentralSize);
        if (r == nullptr || Le32(r) != kCentralSig)
            Fail("central record " + number + " is missing or damaged");
        const size_t nameLength = Le16(r + 28), extraLength = Le16(r + 30),
                     commentLength = Le16(r + 32);
        const size_t size = kCentralSize + nameLength + extraLength + commentLength;
        r = Bytes(size);
        if (r == nullptr) Fail("central record " + number + " runs past the directory");
        if (Le16(r + 34) != 0 && Le16(r + 34) != 0xFFFF)
            Fail("central record " + number + " names another volume");
        E = TEntry();
        E.VersionNeeded = Le16(r + 6);
        E.Flags = Le16(r + 8);
        E.Method = Le16(r + 10);
        E.DateTime = Le32(r + 12);
        E.Crc = Le32(r + 16);
        E.CompressedSize = Le32(r + 20);
        E.UncompressedSize = Le32(r + 24);
        E.Offset = Le32(r + 42);
        E.Name.assign(reinterpret_cast<const char*>(r + kCentralSize), nameLength);
        TakeExtra(r + kCentralSize + nameLength, extraLength, false, E);
        FAt += size;
        return true;
    }

  private:
    // Count bytes from the current record's start, or nullptr when the directory ends first.
    const unsigned char* Bytes(size_t Count) {
        if (FAt + Count > FDir.Size) return nullptr;
        if (FAt < FBufferAt || FAt + Count > FBufferAt + FBuffer.size()) {
            FBufferAt = FAt;
            FBuffer.resize(static_cast<size_t>(
                std::min<uint64_t>(FDir.Size - FAt, std::max<size_t>(Count, kPieceSize))));
            FFile.ReadAt(FDir.Offset + FAt, FBuffer.data(), FBuffer.size());
        }
        return FBuffer.data() + (FAt - FBufferAt);
    }

    const TFile& FFile;
    const TDirectory FDir;
    uint64_t FIndex;
    uint64_t FAt;  // the current record, from the directory's start
    uint64_t FBufferAt = 0;
    std::vector<unsigned char> FBuffer;
};

std::vector<TEntry> ReadCentralDirectory(const TFile& File, const TDirectory& Dir) {
    std::vector<TEntry> entries;
    TEntry e;
    for (TDirectoryReader records(File, Dir); records.Next(e);) entries.push_back(std::move(e));
    return entries;
}

// The local header against the central record; sets where the data begins.
void CheckLocalHeader(const TFile& File, TEntry& Entry, uint64_t DirectoryOffset) {
    if (Entry.Offset > DirectoryOffset || DirectoryOffset - Entry.Offset < kLocalSize)
        Fail(Entry.Name + ": its local header lies beyond the central directory");
    unsigned char h[kLocalSize];
    File.ReadAt(Entry.Offset, h, kLocalSize);
    if (Le32(h) != kLocalSig) Fail(Entry.Name + ": no local header where the directory points");
    const size_t nameLength = Le16(h + 26), extraLength = Le16(h + 28);
    const std::vector<unsigned char> rest =
        File.ReadAt(Entry.Offset + kLocalSize, nameLength + extraLength);
    if (std::string(rest.begin(), rest.begin() + static_cast<ptrdiff_t>(nameLength)) != Entry.Name)
        Fail(Entry.Name + ": the local header holds another name");
    if (Le16(h + 4) != Entry.VersionNeeded || Le16(h + 6) != Entry.Flags ||
        Le16(h + 8) != Entry.Method || Le32(h + 10) != Entry.DateTime)
        Fail(Entry.Name + ": the local header disagrees with the central directory");
    TEntry local;
    local.Name = Entry.Name;
    local.CompressedSize = Le32(h + 18);
    local.UncompressedSize = Le32(h + 22);
    TakeExtra(rest.data() + nameLength, extraLength, true, local);
    // Both headers tell the time a restore gives the file; other writers may put more in the
    // local one (access times), so only the modification times are compared.
    if (local.UnixTime != Entry.UnixTime && local.UnixTime != INT64_MIN &&
        Entry.UnixTime != INT64_MIN)
        Fail(Entry.Name + ": the local header disagrees with the central directory on its time");
    if ((Entry.Flags & kDescriptorFlag) == 0) {
        if (Le32(h + 14) != Entry.Crc || local.CompressedSize != Entry.CompressedSize ||
            local.UncompressedSize != Entry.UncompressedSize)
            Fail(Entry.Name +
                 ": the local header's CRC-32 or sizes disagree with the central "
                 "directory");
    }
    Entry.DataStart = Entry.Offset + kLocalSize + nameLength + extraLength;
    if (Entry.DataStart > DirectoryOffset ||
        Entry.CompressedSize > DirectoryOffset - Entry.DataStart)
        Fail(Entry.Name + ": its data reaches into the central directory");
}

class TInflater {
  public:
    TInflater() {
        if (inflateInit2(&FStream, -MAX_WBITS) != Z_OK) Fail("zlib cannot start inflating");
    }
    ~TInflater() { inflateEnd(&FStream); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
    z_stream& Stream() { return FStream; }

  private:
    z_stream FStream{};
};

// Decodes the entry's data and compares what comes out with the records.
void CheckData(const TFile& File, const TEntry& Entry, std::vector<unsigned char>& In,
               std::vector<unsigned char>& Out) {
    if (Entry.Method != 0 && Entry.Method != 8)
        Fail(Entry.Name + ": unknown compression method " + std::to_string(Entry.Method));
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t produced = 0;
    uint64_t left = Entry.CompressedSize;
    uint64_t at = Entry.DataStart;
    std::unique_ptr<TInflater> inflater;
    if (Entry.Method == 8) inflater = std::make_unique<TInflater>();
    bool ended = Entry.Method == 0;
    while (left > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, In.size()));
        File.ReadAt(at, In.data(), n);
        at += n;
        left -= n;
        if (!inflater) {
            crc = crc32_z(crc, In.data(), n);
            produced += n;
            continue;
        }
        if (ended) Fail(Entry.Name + ": the deflated data ends before its compressed size");
        z_stream& z = inflater->Stream();
        z.next_in = In.data();
        z.avail_in = static_cast<uInt>(n);
        while (z.avail_in > 0 && !ended) {
            z.next_out = Out.data();
            z.avail_out = static_cast<uInt>(Out.size());
            const int rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                Fail(Entry.Name + ": the deflated data cannot be decoded (" +
                     (z.msg ? z.msg : "zlib error " + std::to_string(rc)) + ")");
            const size_t got = Out.size() - z.avail_out;
            crc = crc32_z(crc, Out.data(), got);
            produced += got;
            ended = rc == Z_STREAM_END;
            if (rc == Z_BUF_ERROR && got == 0)
                Fail(Entry.Name + ": the deflated data cannot be decoded");
        }
        if (ended && (z.avail_in > 0 || left > 0))
            Fail(Entry.Name + ": the deflated data ends before its compressed size");
    }
    if (inflater && !ended) {
        // Everything has gone in; what is still held comes out now, and the stream must end.
        z_stream& z = inflater->Stream();
        for (int rc = Z_OK; rc == Z_OK;) {
            z.next_out = Out.data();
            z.avail_out = static_cast<uInt>(Out.size());
            rc = inflate(&z, Z_SYNC_FLUSH);
            const size_t got = Out.size() - z.avail_out;
            crc = crc32_z(crc, Out.data(), got);
            produced += got;
            if (rc == Z_STREAM_END) ended = true;
            if (got == 0 && rc != Z_STREAM_END) break;
        }
        if (!ended) Fail(Entry.Name + ": the deflated data is cut short");
    }
    if (produced != Entry.UncompressedSize)
        Fail(Entry.Name + ": decodes to " + std::to_string(produced) + " bytes, not " +
             std::to_string(Entry.UncompressedSize));
    if (static_cast<uint32_t>(crc) != Entry.Crc) Fail(Entry.Name + ": CRC-32 does not match");
    if ((Entry.Flags & kDescriptorFlag) != 0) {
        unsigned char d[4];
        File.ReadAt(at, d, 4);
        if (Le32(d) != kDescriptorSig && Le32(d) != Entry.Crc)
            Fail(Entry.Name + ": no data descriptor after its data");
    }
}

// What checking an entry costs besides its bytes: its local header is read and a decoder set up.
constexpr uint64_t kEntryWeight = 4096;

// Check(Begin, End) for runs of neighbouring entries of about the same Weight(i), together
// covering 0..Count-1, on up to Threads threads, so that the check of a large back-up costs a
// fraction of its writing. There are several runs a thread, handed out in order as threads come
// free, so that a run slower than its weight said holds up no other thread. The failure reported
// is the one of the first entry at fault, as on one thread: each run stops at its first fault,
// and the earliest run with one wins.
template <typename TWeight, typename TCheck>
void CheckInRuns(size_t Count, TWeight Weight, TCheck Check, int Threads) {
    constexpr size_t kRunsPerThread = 8;
    Threads = std::clamp(Threads, 1, 16);
    uint64_t total = 0;
    for (size_t i = 0; i < Count; ++i) total += Weight(i);
    const size_t parts =
        Threads < 2 ? 1 : std::clamp<size_t>(Count, 1, size_t(Threads) * kRunsPerThread);
    std::vector<size_t> bounds{0};
    uint64_t sum = 0;
    for (size_t i = 0; i < Count && bounds.size() < parts; ++i) {
        sum += Weight(i);
        if (sum * parts >= total * bounds.size() && i + 1 < Count) bounds.push_back(i + 1);
    }
    bounds.push_back(Count);
    std::vector<std::string> failures(bounds.size() - 1);
    std::atomic<size_t> next{0};
    // Runs after one that failed need not be checked: their faults would not be reported.
    std::atomic<size_t> firstFailed{failures.size()};
    auto checkRuns = [&] {
        for (size_t part; (part = next.fetch_add(1)) < failures.size();) {
            if (part > firstFailed.load()) break;
            try {
                Check(bounds[part], bounds[part + 1]);
                continue;
            } catch (const TCheckFailure& e) {
                failures[part] = e.what();
            } catch (const std::bad_alloc&) {
                failures[part] = "not enough memory to read it back";
            }
            for (size_t seen = firstFailed.load();
                 part < seen && !firstFailed.compare_exchange_weak(seen, part);) {
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < Threads && size_t(i) < failures.size(); ++i) {
        try {
            threads.emplace_back(checkRuns);
        } catch (const std::system_error&) {
            break;  // no thread to be had: the others take its runs
        }
    }
    checkRuns();
    for (std::thread& t : threads) t.join();
    for (const std::string& failure : failures)
        if (!failure.empty()) Fail(failure);
}

// Where an entry's bytes lie: from its local header to the end of its data.
struct TSpan {
    uint64_t Begin, End;
    uint64_t Weight;  // what checking it costs
};

// A record's mark every this many records, for runs that start in the middle.
constexpr uint64_t kMarkEvery = 4096;

// The name of the entry whose local header is at Offset (the records have been read once).
std::string NameAt(const TFile& File, const TDirectory& Dir, uint64_t Offset) {
    TEntry e;
    for (TDirectoryReader records(File, Dir); records.Next(e);)
        if (e.Offset == Offset) return e.Name;
    return "an entry";
}

// An archive whose entries lie in directory order (every archive this program writes): read
// twice, piece by piece, keeping 16 bytes an entry. False, having checked nothing but the
// records and local headers, when the entries lie in another order.
bool CheckInDirectoryOrder(const TFile& File, const TDirectory& Dir, int Threads) {
    std::vector<TSpan> spans;
    std::vector<TRecordMark> marks;
    TEntry e;
    TDirectoryReader records(File, Dir);
    for (;;) {
        if (spans.size() % kMarkEvery == 0) marks.push_back(records.Mark());
        if (!records.Next(e)) break;
        CheckLocalHeader(File, e, Dir.Offset);
        if (!spans.empty() && e.Offset < spans.back().Begin) return false;
        spans.push_back(
            {e.Offset, e.DataStart + e.CompressedSize, e.UncompressedSize + kEntryWeight});
    }
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].Begin < spans[i - 1].End)
            Fail(NameAt(File, Dir, spans[i].Begin) + ": overlaps the entry before it");
    CheckInRuns(
        spans.size(), [&](size_t I) { return spans[I].Weight; },
        [&](size_t Begin, size_t End) {
            TDirectoryReader run(File, Dir, marks[Begin / kMarkEvery]);
            TEntry entry;
            for (size_t i = Begin / kMarkEvery * kMarkEvery; i < Begin; ++i) run.Next(entry);
            std::vector<unsigned char> in(kPieceSize), out(kPieceSize);
            for (size_t i = Begin; i < End && run.Next(entry); ++i) {
                entry.DataStart = spans[i].End - entry.CompressedSize;
                CheckData(File, entry, in, out);
            }
        },
        Threads);
    return true;
}

}  // namespace

std::string CheckArchiveFile(const std::string& FileName, int Threads) {
    try {
        TFile file(FileName);
        uint64_t directoryEnd = 0;
        const TDirectory dir = ReadDirectoryPlace(file, FindEndRecord(file), directoryEnd);
        if (CheckInDirectoryOrder(file, dir, Threads)) return {};
        // Entries written out of directory order (by other programs): all of them at once.
        std::vector<TEntry> entries = ReadCentralDirectory(file, dir);
        for (TEntry& e : entries) CheckLocalHeader(file, e, dir.Offset);
        // In file order: the reads go forward, and overlaps show between neighbours.
        std::sort(entries.begin(), entries.end(),
                  [](const TEntry& A, const TEntry& B) { return A.Offset < B.Offset; });
        for (size_t i = 1; i < entries.size(); ++i)
            if (entries[i].Offset < entries[i - 1].DataStart + entries[i - 1].CompressedSize)
                Fail(entries[i].Name + ": overlaps the entry before it");
        CheckInRuns(
            entries.size(), [&](size_t I) { return entries[I].UncompressedSize + kEntryWeight; },
            [&](size_t Begin, size_t End) {
                std::vector<unsigned char> in(kPieceSize), out(kPieceSize);
                for (size_t i = Begin; i < End; ++i) CheckData(file, entries[i], in, out);
            },
            Threads);
        return {};
    } catch (const TCheckFailure& e) {
        return e.what();
    } catch (const std::bad_alloc&) {
        return "not enough memory to read it back";
    }
}

}  // namespace qm
