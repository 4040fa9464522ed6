// TEndCentral: the end of central directory record.
//
// On disk (little-endian), 22 bytes + comment: 0 signature 0x06054B50, 4 number of this disk,
// 6 disk where the central directory starts, 8 entries on this disk, 10 total entries,
// 12 central directory size, 16 central directory offset, 20 comment length, 22 comment.
//
// Counts, the directory's size and offset are 64-bit in memory; when one does not fit its
// classic field, SaveToStream writes the Zip64 end record and locator (zip/format/Zip64.h) in front
// of the classic record, whose fields then hold 0xFFFF / 0xFFFFFFFF, and FindInStream reads them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Stream.h"

namespace qm {

inline constexpr uint32_t kEndCentralSignature = 0x06054B50;
inline constexpr int kEndCentralSize = 22;
// 22 + the largest comment: how far from the end the record can start.
inline constexpr int kEndCentralSearchSize = kEndCentralSize + 65535;

class TEndCentral {
  public:
    // A cleared record (see Clear).
    TEndCentral();
    TEndCentral(const TEndCentral&) = delete;
    TEndCentral& operator=(const TEndCentral&) = delete;

    // Signature 0x06054B50, every number 0, no comment, CommentPosition 0, CommentChanged and
    // Zip64 false.
    void Clear();
    // Copies the fixed fields (CommentLength included) and CommentPosition; when Source has a
    // comment (CommentLength not 0 and the text present) takes a copy of it. CommentChanged is
    // not copied.
    void Assign(const TEndCentral& Source);

    // Stores a copy of Text (none for an empty text) and sets CommentLength to its length (at
    // most 65,535; a longer text is cut).
    void SetComment(const std::string& Text);
    bool HasComment() const { return CommentLength != 0; }
    bool HasCommentText() const { return FComment.has_value(); }
    // The comment text, empty when none is present.
    const std::string& Comment() const;

    // 22 + CommentLength, plus the Zip64 end record and locator when EndNeedsZip64 holds.
    uint64_t EndRecordSize() const;

    // Writes the record at the stream's position (after the Zip64 end record and locator when
    // they are needed), then the comment when its text is present. The comment-length field
    // written is the number of comment bytes written (all of the text, zero bytes included),
    // and CommentLength is set to it. Stream errors pass through.
    void SaveToStream(TStream& Stream);

    // Looks for the record in the last 65,557 bytes of the stream, nearest to the end first,
    // and reads its fixed part (the comment is not read; CommentPosition says where it
    // starts). An empty stream counts as found (an archive with no entries); a stream of 1 to
    // 21 bytes, or one without the signature, is not found. When a Zip64 locator stands right
    // before the record, the Zip64 end record fills the saturated fields (Zip64 := true).
    // A comment length beyond the end of the stream is cut to the bytes that follow.
    // Never raises for bad data.
    bool FindInStream(TStream& Stream);

    uint32_t Signature;
    uint32_t ThisDisk;
    uint32_t CentralDisk;
    uint64_t EntriesOnDisk;
    uint64_t TotalEntries;
    uint64_t CentralSize;
    uint64_t CentralOffset;
    uint16_t CommentLength;
    uint64_t CommentPosition;  // file offset of the archive comment
    bool CommentChanged;       // changed through the component; must be written
    bool Zip64;                // FindInStream took values from a Zip64 end record
    uint64_t RecordPosition;   // where FindInStream found the classic record

  private:
    std::optional<std::string> FComment;
};

}  // namespace qm
