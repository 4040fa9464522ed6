#include "zip/format/EndCentral.h"

#include <algorithm>
#include <vector>

#include "zip/format/RecordIO.h"
#include "zip/format/Zip64.h"

namespace qm {

using detail::Get16;
using detail::Get32;
using detail::kMax16;
using detail::Put16;
using detail::Put32;
using detail::Saturate16;
using detail::Saturate32;

TEndCentral::TEndCentral() {
    Clear();
}

void TEndCentral::Clear() {
    Signature = kEndCentralSignature;
    ThisDisk = 0;
    CentralDisk = 0;
    EntriesOnDisk = 0;
    TotalEntries = 0;
    CentralSize = 0;
    CentralOffset = 0;
    CommentLength = 0;
    CommentPosition = 0;
    CommentChanged = false;
    Zip64 = false;
    RecordPosition = 0;
    FComment.reset();
}

void TEndCentral::Assign(const TEndCentral& Source) {
    if (&Source == this) return;
    Signature = Source.Signature;
    ThisDisk = Source.ThisDisk;
    CentralDisk = Source.CentralDisk;
    EntriesOnDisk = Source.EntriesOnDisk;
    TotalEntries = Source.TotalEntries;
    CentralSize = Source.CentralSize;
    CentralOffset = Source.CentralOffset;
    CommentLength = Source.CommentLength;
    Zip64 = Source.Zip64;
    RecordPosition = Source.RecordPosition;
    if (Source.CommentLength != 0 && Source.FComment) {
        FComment = Source.FComment;
        CommentLength = static_cast<uint16_t>(FComment->size());
    }
    CommentPosition = Source.CommentPosition;
}

void TEndCentral::SetComment(const std::string& Text) {
    if (Text.empty()) {
        FComment.reset();
        CommentLength = 0;
        return;
    }
    FComment = Text.substr(0, kMax16);
    CommentLength = static_cast<uint16_t>(FComment->size());
}

const std::string& TEndCentral::Comment() const {
    static const std::string kEmpty;
    return FComment ? *FComment : kEmpty;
}

uint64_t TEndCentral::EndRecordSize() const {
    uint64_t size = uint64_t{kEndCentralSize} + CommentLength;
    if (EndNeedsZip64(*this)) size += kZip64EndSize + kZip64LocatorSize;
    return size;
}

void TEndCentral::SaveToStream(TStream& Stream) {
    if (EndNeedsZip64(*this)) SaveZip64EndToStream(Stream, *this);
    const std::string comment = CommentLength != 0 && FComment ? *FComment : std::string();
    std::vector<unsigned char> record(kEndCentralSize);
    unsigned char* r = record.data();
    Put32(r + 0, kEndCentralSignature);
    Put16(r + 4, Saturate16(ThisDisk));
    Put16(r + 6, Saturate16(CentralDisk));
    Put16(r + 8, Saturate16(EntriesOnDisk));
    Put16(r + 10, Saturate16(TotalEntries));
    Put32(r + 12, Saturate32(CentralSize));
    Put32(r + 16, Saturate32(CentralOffset));
    Put16(r + 20, static_cast<uint16_t>(comment.size()));
    record.insert(record.end(), comment.begin(), comment.end());
    Stream.WriteBuffer(record.data(), static_cast<int32_t>(record.size()));
    CommentLength = static_cast<uint16_t>(comment.size());
}

bool TEndCentral::FindInStream(TStream& Stream) {
    const int64_t size = Stream.Size();
    if (size < kEndCentralSize) return size == 0;

    const int64_t n = std::min<int64_t>(size, kEndCentralSearchSize);
    std::vector<unsigned char> buffer(static_cast<size_t>(n));
    Stream.Seek(size - n, soBeginning);
    if (Stream.Read(buffer.data(), static_cast<int32_t>(n)) != n) return false;

    for (int64_t i = n - kEndCentralSize; i >= 0; --i) {
        const unsigned char* r = buffer.data() + i;
        if (r[0] != 'P' || Get32(r) != kEndCentralSignature) continue;
        ThisDisk = Get16(r + 4);
        CentralDisk = Get16(r + 6);
        EntriesOnDisk = Get16(r + 8);
        TotalEntries = Get16(r + 10);
        CentralSize = Get32(r + 12);
        CentralOffset = Get32(r + 16);
        CommentLength = Get16(r + 20);
        RecordPosition = static_cast<uint64_t>(size - n + i);
        // A comment length that reaches past the end would place the comment inside the record
        // itself; what follows the record is all the comment there is.
        const uint64_t following = static_cast<uint64_t>(size) - RecordPosition - kEndCentralSize;
        if (CommentLength > following) CommentLength = static_cast<uint16_t>(following);
        CommentPosition = static_cast<uint64_t>(size) - CommentLength;
        Zip64 = detail::ReadZip64End(Stream, static_cast<int64_t>(RecordPosition), *this);
        return true;
    }
    return false;
}

}  // namespace qm
