#include "zip/format/Zip64.h"

#include <cstdint>
#include <vector>

#include "zip/format/EndCentral.h"
#include "zip/format/RecordIO.h"
#include "zip/format/ZipHeaderInfo.h"

namespace qm {

using detail::Get16;
using detail::Get32;
using detail::Get64;
using detail::kMax16;
using detail::kMax32;
using detail::Put16;
using detail::Put32;
using detail::Put64;

namespace {

void Append16(std::string& Out, uint16_t Value) {
    unsigned char b[2];
    Put16(b, Value);
    Out.append(reinterpret_cast<const char*>(b), 2);
}

void Append32(std::string& Out, uint32_t Value) {
    unsigned char b[4];
    Put32(b, Value);
    Out.append(reinterpret_cast<const char*>(b), 4);
}

void Append64(std::string& Out, uint64_t Value) {
    unsigned char b[8];
    Put64(b, Value);
    Out.append(reinterpret_cast<const char*>(b), 8);
}

uint64_t Offset64(const TZipHeaderInfo& Entry) {
    return Entry.RelativeOffset < 0 ? 0 : static_cast<uint64_t>(Entry.RelativeOffset);
}

}  // namespace

bool LocalNeedsZip64(const TZipHeaderInfo& Entry) {
    return Entry.UncompressedSize >= kMax32 || Entry.CompressedSize >= kMax32;
}

bool CentralNeedsZip64(const TZipHeaderInfo& Entry) {
    return LocalNeedsZip64(Entry) || Offset64(Entry) >= kMax32 || Entry.DiskNumberStart >= kMax16;
}

bool EndNeedsZip64(const TEndCentral& End) {
    return End.ThisDisk >= kMax16 || End.CentralDisk >= kMax16 || End.EntriesOnDisk >= kMax16 ||
           End.TotalEntries >= kMax16 || End.CentralSize >= kMax32 || End.CentralOffset >= kMax32;
}

std::string Zip64LocalExtra(const TZipHeaderInfo& Entry) {
    std::string out;
    Append16(out, kZip64ExtraId);
    Append16(out, 16);
    Append64(out, Entry.UncompressedSize);
    Append64(out, Entry.CompressedSize);
    return out;
}

void WriteZip64LocalExtra(TStream& Stream, const TZipHeaderInfo& Entry) {
    const std::string block = Zip64LocalExtra(Entry);
    Stream.WriteBuffer(block.data(), static_cast<int32_t>(block.size()));
}

std::string Zip64CentralExtra(const TZipHeaderInfo& Entry) {
    std::string values;
    if (Entry.UncompressedSize >= kMax32) Append64(values, Entry.UncompressedSize);
    if (Entry.CompressedSize >= kMax32) Append64(values, Entry.CompressedSize);
    if (Offset64(Entry) >= kMax32) Append64(values, Offset64(Entry));
    if (Entry.DiskNumberStart >= kMax16) Append32(values, Entry.DiskNumberStart);
    if (values.empty()) return values;
    std::string out;
    Append16(out, kZip64ExtraId);
    Append16(out, static_cast<uint16_t>(values.size()));
    return out + values;
}

void SaveZip64EndToStream(TStream& Stream, const TEndCentral& End) {
    const int64_t recordPosition = Stream.Position();
    unsigned char r[kZip64EndSize + kZip64LocatorSize] = {};
    Put32(r + 0, kZip64EndSignature);
    Put64(r + 4, kZip64EndSize - 12);
    Put16(r + 12, kZip64Version);
    Put16(r + 14, kZip64Version);
    Put32(r + 16, End.ThisDisk);
    Put32(r + 20, End.CentralDisk);
    Put64(r + 24, End.EntriesOnDisk);
    Put64(r + 32, End.TotalEntries);
    Put64(r + 40, End.CentralSize);
    Put64(r + 48, End.CentralOffset);
    unsigned char* l = r + kZip64EndSize;
    Put32(l + 0, kZip64LocatorSignature);
    Put32(l + 4, End.ThisDisk);
    Put64(l + 8, static_cast<uint64_t>(recordPosition));
    Put32(l + 16, End.ThisDisk + 1);
    Stream.WriteBuffer(r, sizeof r);
}

namespace detail {

bool ParseExtraField(const unsigned char* Data, size_t Size, bool Local, TZipHeaderInfo& Entry,
                     std::string* Others) {
    bool found = false;
    size_t at = 0;
    while (at < Size) {
        if (Size - at < 4) break;
        const uint16_t id = Get16(Data + at);
        const size_t length = Get16(Data + at + 2);
        if (length > Size - at - 4) break;
        const unsigned char* value = Data + at + 4;
        if (id == kZip64ExtraId) {
            // Only the first Zip64 block counts; a second one is dropped with it.
            if (found) {
                at += 4 + length;
                continue;
            }
            found = true;
            size_t v = 0;
            auto take64 = [&](uint64_t& Field) {
                if (v + 8 > length) return;
                Field = Get64(value + v);
                v += 8;
            };
            if (Local) {
                take64(Entry.UncompressedSize);
                take64(Entry.CompressedSize);
            } else {
                if (Entry.UncompressedSize == kMax32) take64(Entry.UncompressedSize);
                if (Entry.CompressedSize == kMax32) take64(Entry.CompressedSize);
                if (Entry.RelativeOffset == kMax32) {
                    uint64_t offset = kMax32;
                    take64(offset);
                    // An offset beyond what a signed 64-bit position holds points nowhere.
                    if (offset <= static_cast<uint64_t>(INT64_MAX))
                        Entry.RelativeOffset = static_cast<int64_t>(offset);
                }
                if (Entry.DiskNumberStart == kMax16 && v + 4 <= length)
                    Entry.DiskNumberStart = Get32(value + v);
            }
        } else if (Others) {
            Others->append(reinterpret_cast<const char*>(Data + at), length + 4);
        }
        at += 4 + length;
    }
    if (Others && at < Size) Others->append(reinterpret_cast<const char*>(Data + at), Size - at);
    return found;
}

bool ReadZip64End(TStream& Stream, int64_t EndPosition, TEndCentral& End) {
    if (EndPosition < kZip64LocatorSize + kZip64EndSize) return false;
    unsigned char l[kZip64LocatorSize];
    Stream.Seek(EndPosition - kZip64LocatorSize, soBeginning);
    if (Stream.Read(l, kZip64LocatorSize) != kZip64LocatorSize ||
        Get32(l) != kZip64LocatorSignature)
        return false;
    // The record must lie wholly before the locator.
    const uint64_t recordPosition = Get64(l + 8);
    const uint64_t limit = static_cast<uint64_t>(EndPosition - kZip64LocatorSize);
    if (recordPosition > limit || limit - recordPosition < kZip64EndSize) return false;
    unsigned char r[kZip64EndSize];
    Stream.Seek(static_cast<int64_t>(recordPosition), soBeginning);
    if (Stream.Read(r, kZip64EndSize) != kZip64EndSize || Get32(r) != kZip64EndSignature)
        return false;
    if (End.ThisDisk == kMax16) End.ThisDisk = Get32(r + 16);
    if (End.CentralDisk == kMax16) End.CentralDisk = Get32(r + 20);
    if (End.EntriesOnDisk == kMax16) End.EntriesOnDisk = Get64(r + 24);
    if (End.TotalEntries == kMax16) End.TotalEntries = Get64(r + 32);
    if (End.CentralSize == kMax32) End.CentralSize = Get64(r + 40);
    if (End.CentralOffset == kMax32) End.CentralOffset = Get64(r + 48);
    return true;
}

}  // namespace detail

}  // namespace qm
