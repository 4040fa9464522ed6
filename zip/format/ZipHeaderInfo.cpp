#include "zip/format/ZipHeaderInfo.h"

#include <algorithm>
#include <vector>

#include "zip/format/Cp437.h"
#include "zip/format/DateUtils.h"
#include "zip/format/RecordIO.h"
#include "zip/format/Zip64.h"

namespace qm {

using detail::Get16;
using detail::Get32;
using detail::kMax16;
using detail::kMax32;
using detail::Put16;
using detail::Put32;
using detail::ReadExactly;
using detail::Saturate16;
using detail::Saturate32;

namespace {

// The flags as written: bit 11 announces a name that is not plain ASCII. A name that is not
// well-formed UTF-8 is stored as its bytes without it: flagged, strict readers would refuse the
// whole archive.
uint16_t WrittenFlags(uint16_t Flags, const std::string& Name) {
    if (IsAscii(Name)) return Flags;
    if (!IsValidUtf8(Name)) return static_cast<uint16_t>(Flags & ~kFlagUtf8Name);
    return static_cast<uint16_t>(Flags | kFlagUtf8Name);
}

bool ReadString(TStream& Stream, std::string& Out, uint16_t Count) {
    Out.resize(Count);
    return ReadExactly(Stream, Out.data(), Count);
}

// The fields both headers share, in the same order and layout: from "version needed" to the
// extra length (the local header has them from offset 4, the central one from offset 6).
struct TSharedFields {
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t DateTime = 0;
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
};
constexpr int kLocalSharedAt = kLocalVersionNeededAt;
constexpr int kCentralSharedAt = 6;
static_assert(kLocalSharedAt + 22 == kLocalNameLengthAt &&
              kLocalSharedAt + 24 == kLocalExtraLengthAt);
static_assert(kCentralSharedAt + 22 == kCentralNameLengthAt &&
              kCentralSharedAt + 24 == kCentralExtraLengthAt);

void PutSharedFields(unsigned char* At, const TSharedFields& Fields) {
    Put16(At + 0, Fields.VersionNeeded);
    Put16(At + 2, Fields.Flags);
    Put16(At + 4, Fields.Method);
    Put16(At + 6, static_cast<uint16_t>(Fields.DateTime));
    Put16(At + 8, static_cast<uint16_t>(Fields.DateTime >> 16));
    Put32(At + 10, Fields.Crc);
    Put32(At + 14, Fields.CompressedSize);
    Put32(At + 18, Fields.UncompressedSize);
    Put16(At + 22, Fields.NameLength);
    Put16(At + 24, Fields.ExtraLength);
}

TSharedFields GetSharedFields(const unsigned char* At) {
    TSharedFields fields;
    fields.VersionNeeded = Get16(At + 0);
    fields.Flags = Get16(At + 2);
    fields.Method = Get16(At + 4);
    fields.DateTime = Get16(At + 6) | (static_cast<uint32_t>(Get16(At + 8)) << 16);
    fields.Crc = Get32(At + 10);
    fields.CompressedSize = Get32(At + 14);
    fields.UncompressedSize = Get32(At + 18);
    fields.NameLength = Get16(At + 22);
    fields.ExtraLength = Get16(At + 24);
    return fields;
}

// The shared fields as an entry holds them (its name and extra lengths are the caller's).
void TakeSharedFields(TZipHeaderInfo& Entry, const TSharedFields& Fields) {
    Entry.VersionNeeded = Fields.VersionNeeded;
    Entry.Flags = Fields.Flags;
    Entry.Method = Fields.Method;
    Entry.DateTime = ClampDosDateTime(Fields.DateTime);
    Entry.CRC = Fields.Crc;
    Entry.CompressedSize = Fields.CompressedSize;
    Entry.UncompressedSize = Fields.UncompressedSize;
}

}  // namespace

TZipHeaderInfo::TZipHeaderInfo() {
    Clear();
}

void TZipHeaderInfo::Clear() {
    VersionMadeBy = 20;
    VersionNeeded = 20;
    Flags = 0;
    Method = 8;
    DateTime = 0;
    CRC = 0xFFFFFFFFu;
    CompressedSize = 0;
    UncompressedSize = 0;
    FileNameLength = 0;
    CentralExtraLength = 0;
    LocalExtraLength = 0;
    CommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 1;
    ExternalAttributes = 0x20;
    RelativeOffset = 0;
    CentralOffset = 0;
    CentralExtra.clear();
    Zip64Local = false;
    UserFlag = 0;
    SkipState = 0;
    DeleteMark = 0;
    FName.clear();
    FDirectoryLength = 0;
    FComment.reset();
    FCp437Name.reset();
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo& Source) {
    if (&Source == this) return;
    VersionMadeBy = Source.VersionMadeBy;
    VersionNeeded = Source.VersionNeeded;
    Flags = Source.Flags;
    Method = Source.Method;
    DateTime = Source.DateTime;
    CRC = Source.CRC;
    CompressedSize = Source.CompressedSize;
    UncompressedSize = Source.UncompressedSize;
    CentralExtraLength = Source.CentralExtraLength;
    LocalExtraLength = Source.LocalExtraLength;
    CommentLength = Source.CommentLength;
    DiskNumberStart = Source.DiskNumberStart;
    InternalAttributes = Source.InternalAttributes;
    ExternalAttributes = Source.ExternalAttributes;
    RelativeOffset = Source.RelativeOffset;
    CentralOffset = Source.CentralOffset;
    CentralExtra = Source.CentralExtra;
    Zip64Local = Source.Zip64Local;
    UserFlag = Source.UserFlag;
    SkipState = Source.SkipState;
    DeleteMark = Source.DeleteMark;
    FName = Source.FName;
    FDirectoryLength = Source.FDirectoryLength;
    FileNameLength = Source.FileNameLength;
    FCp437Name = Source.FCp437Name ? std::make_unique<std::string>(*Source.FCp437Name) : nullptr;
    if (Source.CommentLength != 0 && Source.FComment)
        FComment = std::make_unique<std::string>(*Source.FComment);
}

void TZipHeaderInfo::SetFileName(const std::string& Value) {
    if (FName.compare(FDirectoryLength, std::string::npos, Value) == 0) return;
    FName.replace(FDirectoryLength, std::string::npos, Value);
    FCp437Name.reset();  // a new name is stored as UTF-8
    FileNameLength = Saturate16(FName.size());
}

void TZipHeaderInfo::SetDirectory(const std::string& Value) {
    std::string dir = Value;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    if (dir.size() > kMax16) {  // no record could hold it: cut to what one can
        dir.resize(kMax16 - 1);
        dir += '/';
    }
    if (FName.compare(0, FDirectoryLength, dir) == 0) return;
    FName.replace(0, FDirectoryLength, dir);
    FDirectoryLength = static_cast<uint16_t>(dir.size());
    FCp437Name.reset();
    FileNameLength = Saturate16(FName.size());
}

void TZipHeaderInfo::SetStoredName(const std::string& Name) {
    size_t slash = Name.rfind('/');
    if (slash == std::string::npos) {
        SetDirectory("");
        SetFileName(Name);
    } else {
        SetDirectory(Name.substr(0, slash + 1));
        SetFileName(Name.substr(slash + 1));
    }
    FileNameLength = Saturate16(Name.size());
}

const std::string& TZipHeaderInfo::Comment() const {
    static const std::string kEmpty;
    return FComment ? *FComment : kEmpty;
}

void TZipHeaderInfo::SetFileComment(const std::string& Text) {
    if (Text.empty()) {
        FComment.reset();
        CommentLength = 0;
        return;
    }
    FComment = std::make_unique<std::string>(Text.substr(0, kMax16));
    CommentLength = static_cast<uint16_t>(FComment->size());
}

uint64_t TZipHeaderInfo::LocalRecordSize() const {
    return uint64_t{kLocalHeaderSize} + FileNameLength + LocalExtraLength;
}

uint64_t TZipHeaderInfo::CentralRecordSize() const {
    return uint64_t{kCentralHeaderSize} + FileNameLength + CentralExtraLength + CommentLength;
}

void TZipHeaderInfo::SaveLocalToStream(TStream& Stream) {
    RelativeOffset = Stream.Position();
    const std::string stored = StoredName();
    const std::string name = NameBytes(stored).substr(0, kMax16);
    const bool zip64 = Zip64Local || LocalNeedsZip64(*this);

    std::vector<unsigned char> record(kLocalHeaderSize + name.size());
    unsigned char* r = record.data();
    Put32(r + 0, kLocalHeaderSignature);
    PutSharedFields(
        r + kLocalSharedAt,
        {zip64 ? std::max(VersionNeeded, kZip64Version) : VersionNeeded, NameFlags(stored), Method,
         DateTime, CRC, zip64 ? kMax32 : static_cast<uint32_t>(CompressedSize),
         zip64 ? kMax32 : static_cast<uint32_t>(UncompressedSize),
         static_cast<uint16_t>(name.size()), LocalExtraLength});
    std::copy(name.begin(), name.end(), r + kLocalHeaderSize);
    Stream.WriteBuffer(record.data(), static_cast<int32_t>(record.size()));
}

void TZipHeaderInfo::SaveCentralToStream(TStream& Stream) {
    const std::string stored = StoredName();
    const std::string name = NameBytes(stored).substr(0, kMax16);
    std::string extra = Zip64CentralExtra(*this);
    const bool zip64 = !extra.empty();
    extra += CentralExtra;
    if (extra.size() > kMax16) extra.resize(kMax16);
    const std::string comment = CommentLength != 0 && FComment ? *FComment : std::string();

    std::vector<unsigned char> record(kCentralHeaderSize);
    unsigned char* r = record.data();
    Put32(r + 0, kCentralHeaderSignature);
    Put16(r + 4, VersionMadeBy);
    PutSharedFields(
        r + kCentralSharedAt,
        {zip64 ? std::max(VersionNeeded, kZip64Version) : VersionNeeded, NameFlags(stored), Method,
         DateTime, CRC, Saturate32(CompressedSize), Saturate32(UncompressedSize),
         static_cast<uint16_t>(name.size()), static_cast<uint16_t>(extra.size())});
    Put16(r + 32, static_cast<uint16_t>(comment.size()));
    Put16(r + 34, Saturate16(DiskNumberStart));
    Put16(r + 36, InternalAttributes);
    Put32(r + 38, ExternalAttributes);
    Put32(r + 42, Saturate32(static_cast<uint64_t>(std::max<int64_t>(RelativeOffset, 0))));
    record.insert(record.end(), name.begin(), name.end());
    record.insert(record.end(), extra.begin(), extra.end());
    record.insert(record.end(), comment.begin(), comment.end());
    Stream.WriteBuffer(record.data(), static_cast<int32_t>(record.size()));
    CentralExtraLength = static_cast<uint16_t>(extra.size());
    CommentLength = static_cast<uint16_t>(comment.size());
}

bool TZipHeaderInfo::KeepsCp437Name(const std::string& Name) const {
    return FCp437Name && (Flags & kFlagUtf8Name) == 0 && Cp437ToUtf8(*FCp437Name) == Name;
}

std::string TZipHeaderInfo::NameBytes(const std::string& Name) const {
    return KeepsCp437Name(Name) ? *FCp437Name : Name;
}

uint16_t TZipHeaderInfo::NameFlags(const std::string& Name) const {
    return KeepsCp437Name(Name) ? Flags : WrittenFlags(Flags, Name);
}

void TZipHeaderInfo::KeepCp437Name(const std::string& Raw, uint16_t RawFlags) {
    if ((RawFlags & kFlagUtf8Name) != 0 || IsAscii(Raw)) return;
    FCp437Name = std::make_unique<std::string>(Raw);
    // The length is that of the bytes the records hold, so that the size functions and the
    // written records agree.
    FileNameLength = Saturate16(Raw.size());
}

std::string TZipHeaderInfo::DecodeName(const std::string& Bytes, uint16_t Flags) {
    if ((Flags & kFlagUtf8Name) != 0 || IsAscii(Bytes)) return Bytes;
    return Cp437ToUtf8(Bytes);
}

bool TZipHeaderInfo::ReadCentralFromStream(TStream& Stream, const TNextVolume& NextVolume) {
    TStream* stream = &Stream;
    const int64_t start = stream->Position();
    TCentralRecord record{};
    int32_t got = stream->Read(record.data(), kCentralHeaderSize);
    if (got < 0) got = 0;
    if (NextVolume && (got == 0 || (got < kCentralHeaderSize && got >= 4 &&
                                    Get32(record.data()) == kCentralHeaderSignature))) {
        if (TStream* next = NextVolume()) {
            stream = next;
            int32_t more = stream->Read(record.data() + got, kCentralHeaderSize - got);
            if (more > 0) got += more;
        }
    }
    if (got != kCentralHeaderSize || Get32(record.data()) != kCentralHeaderSignature) {
        if (stream == &Stream) stream->Seek(start, soBeginning);
        return false;
    }
    const unsigned char* r = record.data();
    std::string raw;
    std::string extra;
    if (!ReadString(*stream, raw, Get16(r + kCentralNameLengthAt)) ||
        !ReadString(*stream, extra, Get16(r + kCentralExtraLengthAt))) {
        stream->Seek(start, soBeginning);
        return false;
    }
    const uint16_t commentLength = Get16(r + 32);
    if (commentLength != 0) stream->Seek(commentLength, soCurrent);

    SetFromCentralRecord(record, DecodeName(raw, Get16(r + 8)));
    KeepCp437Name(raw, Get16(r + 8));
    std::string others;
    detail::ParseExtraField(reinterpret_cast<const unsigned char*>(extra.data()), extra.size(),
                            false, *this, &others);
    CentralExtra = others;
    CentralOffset = static_cast<uint64_t>(start);
    return true;
}

bool TZipHeaderInfo::ReadLocalFromStream(TStream& Stream) {
    const int64_t start = Stream.Position();
    TLocalRecord record{};
    if (!ReadExactly(Stream, record.data(), kLocalHeaderSize) ||
        Get32(record.data()) != kLocalHeaderSignature) {
        Stream.Seek(start, soBeginning);
        return false;
    }
    std::string raw;
    if (!ReadString(Stream, raw, Get16(record.data() + 26))) {
        Stream.Seek(start, soBeginning);
        return false;
    }
    SetFromLocalRecord(record, DecodeName(raw, Get16(record.data() + 6)));
    KeepCp437Name(raw, Get16(record.data() + 6));
    RelativeOffset = start;
    if (LocalExtraLength != 0) {
        // Only the Zip64 sizes are wanted from the extra field; the stream goes back to the
        // end of the name, where the caller expects it.
        const int64_t afterName = Stream.Position();
        std::string extra(LocalExtraLength, '\0');
        int32_t got = std::max<int32_t>(Stream.Read(extra.data(), LocalExtraLength), 0);
        Zip64Local = detail::ParseExtraField(reinterpret_cast<const unsigned char*>(extra.data()),
                                             static_cast<size_t>(got), true, *this, nullptr);
        Stream.Seek(afterName, soBeginning);
    }
    return true;
}

void TZipHeaderInfo::SetFromCentralRecord(const TCentralRecord& Record, const std::string& Name) {
    const unsigned char* r = Record.data();
    const TSharedFields shared = GetSharedFields(r + kCentralSharedAt);
    VersionMadeBy = Get16(r + 4);
    TakeSharedFields(*this, shared);
    CentralExtraLength = shared.ExtraLength;
    CommentLength = Get16(r + 32);
    DiskNumberStart = Get16(r + 34);
    InternalAttributes = Get16(r + 36);
    ExternalAttributes = Get32(r + 38);
    RelativeOffset = Get32(r + 42);
    CentralOffset = 0;
    CentralExtra.clear();
    SetStoredName(Name);
    FCp437Name.reset();
    FComment.reset();
    UserFlag = 0;
    DeleteMark = 0;
}

void TZipHeaderInfo::SetFromLocalRecord(const TLocalRecord& Record, const std::string& Name) {
    const unsigned char* r = Record.data();
    const TSharedFields shared = GetSharedFields(r + kLocalSharedAt);
    VersionMadeBy = 0;
    TakeSharedFields(*this, shared);
    LocalExtraLength = shared.ExtraLength;
    CommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 0;
    ExternalAttributes = 0;
    RelativeOffset = 0;
    CentralOffset = 0;
    Zip64Local = false;
    SetStoredName(Name);
    FCp437Name.reset();
    FComment.reset();
    UserFlag = 0;
    DeleteMark = 0;
}

}  // namespace qm
