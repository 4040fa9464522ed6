// TZipHeaderInfo: the in-memory record of one archive entry, and its local and central records.
//
// On disk (little-endian), local file header, 30 bytes + name + extra field:
//   0 signature 0x04034B50, 4 version needed, 6 flags, 8 method, 10 time, 12 date, 14 CRC-32,
//   18 compressed size, 22 uncompressed size, 26 name length, 28 extra length.
// Central directory file header, 46 bytes + name + extra field + comment:
//   0 signature 0x02014B50, 4 version made by, 6 version needed, 8 flags, 10 method, 12 time,
//   14 date, 16 CRC-32, 20 compressed size, 24 uncompressed size, 28 name length,
//   30 extra length, 32 comment length, 34 disk number start, 36 internal attributes,
//   38 external attributes, 42 relative offset of the local header.
//
// Names. In memory an entry's name is split into Directory (empty or ending in "/") and
// FileName (no path); both are UTF-8. A name is stored as Directory + FileName; a name with any
// byte of 0x80 or more is stored as its UTF-8 bytes with flag bit 11 (0x0800) set in the
// written record. Reading takes the bytes as they are when bit 11 is set or the name is all
// ASCII, and decodes them from code page 437 otherwise. An entry read that way writes its name
// back as the very bytes it was read from (bit 11 clear) until the name is changed.
//
// Sizes and offsets are 64-bit. Below 0xFFFFFFFF (0xFFFF for the disk number) the records are
// the classic ones, byte for byte. Beyond, the fixed fields hold 0xFFFFFFFF (0xFFFF) and the
// values travel in a Zip64 extended information extra field (id 0x0001), which reading
// understands in both records (zip/format/Zip64.h has the builders).
//
// Extra fields. A central record's extra field is kept: its Zip64 block is taken apart into the
// 64-bit fields above, every other block is kept verbatim in CentralExtra and written back by
// SaveCentralToStream behind a freshly built Zip64 block (when one is needed). The extra-length
// field written is always the number of extra bytes written, and SaveCentralToStream stores
// that number in CentralExtraLength, so a written record always agrees with itself. A local
// record's extra bytes are not kept here: the writer copies them with the entry's data
// (LocalExtraLength says how many follow the name).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Stream.h"
#include "zip/format/ExtraBytes.h"

namespace qm {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr int kLocalHeaderSize = 30;
inline constexpr int kCentralHeaderSize = 46;

// Offsets of the fields that code outside these records reads to find its way: the version
// needed, and the name and extra lengths (what follows each header's fixed part).
inline constexpr int kLocalVersionNeededAt = 4;
inline constexpr int kLocalNameLengthAt = 26;
inline constexpr int kLocalExtraLengthAt = 28;
inline constexpr int kCentralNameLengthAt = 28;
inline constexpr int kCentralExtraLengthAt = 30;

// The data descriptor after a streamed entry's data (flag bit 3): signature, CRC-32, compressed
// size, uncompressed size. The sizes are 64-bit after a local header with a Zip64 block.
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
inline constexpr int kDataDescriptorSize = 16;
inline constexpr int kZip64DataDescriptorSize = 24;
inline constexpr int kDescriptorCrcAt = 4;
inline constexpr int kDescriptorCompressedAt = 8;
inline constexpr int kDescriptorUncompressedAt = 12;
inline constexpr int kZip64DescriptorUncompressedAt = 16;

// A rebuild scan takes "PK\3\4" for a local header only when the high byte of the version
// needed is below this. Real headers have a small number there (0, or the id of the system
// that wrote them); the signature bytes occurring by chance inside data mostly do not.
inline constexpr int kScanVersionHighByteLimit = 10;

// General purpose flag bits.
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;  // sizes follow the data
inline constexpr uint16_t kFlagUtf8Name = 0x0800;        // name (and comment) in UTF-8

using TLocalRecord = std::array<unsigned char, kLocalHeaderSize>;
using TCentralRecord = std::array<unsigned char, kCentralHeaderSize>;

// Called by ReadCentralFromStream when a record continues on the next volume: returns that
// volume's stream (positioned at its start), or nullptr when there is none.
using TNextVolume = std::function<TStream*()>;

class TZipHeaderInfo {
  public:
    // A cleared entry (see Clear).
    TZipHeaderInfo();
    TZipHeaderInfo(const TZipHeaderInfo&) = delete;
    TZipHeaderInfo& operator=(const TZipHeaderInfo&) = delete;

    // VersionMadeBy and VersionNeeded 20, Method 8 (deflate), Flags 0, DateTime 0, CRC
    // 0xFFFFFFFF, sizes, lengths, offsets and DiskNumberStart 0, InternalAttributes 1,
    // ExternalAttributes 0x20, empty names, no comment, no kept extra field, the flag bytes 0.
    void Clear();

    // Copies every field from Source; names go through their setters. Source's comment is
    // copied only when Source has one (CommentLength not 0 and the text present); otherwise
    // this entry's own comment text is left alone.
    void Assign(const TZipHeaderInfo& Source);
    // The same in the other direction: Dest.Assign(*this).
    void AssignTo(TZipHeaderInfo& Dest) const { Dest.Assign(*this); }

    // Name parts. Setting a different value recomputes FileNameLength (the byte length of
    // Directory + FileName, at most 65,535; a longer name is stored cut to that). SetDirectory
    // appends "/" to a non-empty value that does not end in one.
    std::string FileName() const { return FName.substr(FDirectoryLength); }
    std::string Directory() const { return FName.substr(0, FDirectoryLength); }
    void SetFileName(const std::string& Value);
    void SetDirectory(const std::string& Value);
    // Directory + FileName: the stored name.
    const std::string& StoredName() const { return FName; }
    // The stored name as the records hold it: the bytes read for a code page 437 name.
    std::string StoredNameBytes() const { return NameBytes(StoredName()); }
    // Splits a stored name at its last "/" into Directory (up to and including it) and FileName.
    void SetStoredName(const std::string& Name);

    // The comment. It may be absent while CommentLength is not 0 (reading a central record does
    // not load it). SetFileComment stores a copy of Text (none for an empty text) and sets
    // CommentLength to its length (at most 65,535; a longer text is cut).
    bool HasComment() const { return CommentLength != 0; }
    bool HasCommentText() const { return FComment != nullptr; }
    // The comment text, empty when none is present.
    const std::string& Comment() const;
    void SetFileComment(const std::string& Text);

    bool HasDataDescriptor() const { return (Flags & kFlagDataDescriptor) != 0; }

    // 30 + FileNameLength + LocalExtraLength: the size of this entry's local header as written.
    // FileNameLength is the byte count of the stored name: for an entry read with a code page
    // 437 name, that of the bytes it was read from.
    uint64_t LocalRecordSize() const;
    // 46 + FileNameLength + CentralExtraLength + CommentLength.
    uint64_t CentralRecordSize() const;

    // Sets RelativeOffset to the stream's position, then writes the local header and the name.
    // No extra bytes are written: the extra-length field says LocalExtraLength and the caller
    // writes that many bytes next. Both size fields hold 0xFFFFFFFF when Zip64Local is set or a
    // size does not fit in 32 bits; the caller then writes a Zip64 block (zip/format/Zip64.h) among
    // those extra bytes. Stream errors pass through (EWriteError for a short write).
    void SaveLocalToStream(TStream& Stream);
    // Writes the central header, the name, the extra field (Zip64 block when needed, then
    // CentralExtra) and the comment when its text is present; the length fields written are
    // the byte counts written, and CentralExtraLength and CommentLength are set to them.
    void SaveCentralToStream(TStream& Stream);

    // Reads a central record at the stream's position. True when one was read: the entry is
    // filled (SetFromCentralRecord, Zip64 values, kept extra blocks), CentralOffset is the
    // record's position and the stream stands at the next record. False (stream back at its
    // position) when the bytes there are no complete central record. When the fixed part comes
    // short and NextVolume is given, the rest is read from the stream it returns (the entry then
    // belongs to that volume's stream, which the caller must keep using). Never raises for bad
    // data; stream errors pass through.
    bool ReadCentralFromStream(TStream& Stream, const TNextVolume& NextVolume = {});
    // Reads a local header at the stream's position. True when one was read: the entry is
    // filled (SetFromLocalRecord, Zip64 sizes from its extra field), RelativeOffset is the
    // header's position and the stream stands right after the name. False (stream back at its
    // position) otherwise.
    bool ReadLocalFromStream(TStream& Stream);

    // Fill the entry from a raw fixed record and its decoded name. The date-time is repaired by
    // ClampDosDateTime. Central: CentralOffset 0, no comment text, UserFlag and DeleteMark 0;
    // LocalExtraLength, SkipState and Zip64Local keep their values; CentralExtra is emptied.
    // Local: VersionMadeBy, CommentLength, DiskNumberStart, both attribute words, RelativeOffset
    // and CentralOffset 0; no comment, UserFlag and DeleteMark 0; Zip64Local false.
    void SetFromCentralRecord(const TCentralRecord& Record, const std::string& Name);
    void SetFromLocalRecord(const TLocalRecord& Record, const std::string& Name);

    // Decodes stored name bytes: as they are when Flags has bit 11 or the bytes are all ASCII,
    // from code page 437 otherwise.
    static std::string DecodeName(const std::string& Bytes, uint16_t Flags);

    uint16_t VersionMadeBy;
    uint16_t VersionNeeded;
    uint16_t Flags;
    uint16_t Method;
    uint32_t DateTime;  // DOS date-time: time in the low 16 bits, date in the high 16 bits
    uint32_t CRC;
    uint64_t CompressedSize;
    uint64_t UncompressedSize;
    uint16_t FileNameLength;
    uint16_t CentralExtraLength;  // as read from the central record; 0 for new entries
    uint16_t LocalExtraLength;    // as read from the local record; 0 for new entries
    uint16_t CommentLength;
    // (Fields are ordered so that none needs padding: a back-up may hold millions of entries.)
    uint16_t InternalAttributes;

  private:
    // The length of the directory part at the front of FName (in what would be padding).
    uint16_t FDirectoryLength = 0;

  public:
    uint32_t DiskNumberStart;
    uint32_t ExternalAttributes;
    bool Zip64Local;  // the local header carries (or is to carry) a Zip64 block
    uint8_t UserFlag;
    uint8_t SkipState;         // 2: leave the entry out of a rewritten archive
    uint8_t DeleteMark;        // non-zero: marked for deletion
    int64_t RelativeOffset;    // offset of the local header in its volume
    uint64_t CentralOffset;    // where the central record was read (0 when it was not)
    TExtraBytes CentralExtra;  // the central extra field's blocks other than Zip64, verbatim

  private:
    // Directory + FileName in one string: a back-up may hold millions of entries. A directory
    // part is at most 65,535 bytes, as the records can hold no longer name.
    std::string FName;
    // Held by pointer: most entries have neither, and a back-up may hold millions of entries.
    std::unique_ptr<std::string> FComment;
    // The name bytes as read when they were decoded from code page 437: written back as they
    // were (without bit 11) while the name is unchanged, so that a copied entry keeps its name.
    std::unique_ptr<std::string> FCp437Name;

    // The bytes to store for Name and the flags that go with them.
    std::string NameBytes(const std::string& Name) const;
    uint16_t NameFlags(const std::string& Name) const;
    bool KeepsCp437Name(const std::string& Name) const;
    void KeepCp437Name(const std::string& Raw, uint16_t RawFlags);
};

}  // namespace qm
