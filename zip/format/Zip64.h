// Zip64: the extensions that carry sizes, offsets and counts that do not fit the classic fields.
//
// Extended information extra field (id 0x0001): 2 id, 2 data size, then the 64-bit values
// whose classic field holds 0xFFFFFFFF, in this order: uncompressed size, compressed size,
// local header offset, and the 32-bit disk number start when its field holds 0xFFFF. In a local
// header both sizes are present whenever the block is.
//
// Zip64 end of central directory record (56 bytes): 0 signature 0x06064B50, 4 size of the rest
// (44, 64-bit), 12 version made by, 14 version needed, 16 this disk (32-bit), 20 central
// directory disk (32-bit), 24 entries on this disk, 32 total entries, 40 central directory
// size, 48 central directory offset (64-bit each).
// Zip64 end of central directory locator (20 bytes), right before the classic end record:
// 0 signature 0x07064B50, 4 disk of the Zip64 end record, 8 its offset (64-bit), 16 total
// number of disks.
//
// Below the limits nothing here is written: the classic records stay byte for byte.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Stream.h"

namespace qm {

class TZipHeaderInfo;
class TEndCentral;

inline constexpr uint16_t kZip64ExtraId = 0x0001;
inline constexpr uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr int kZip64EndSize = 56;
inline constexpr int kZip64LocatorSize = 20;
// The size of the block Zip64LocalExtra builds.
inline constexpr int kZip64LocalExtraSize = 20;
// Version needed to extract an entry or archive that uses Zip64 (4.5).
inline constexpr uint16_t kZip64Version = 45;

// True when a size does not fit the local header's 32-bit fields.
bool LocalNeedsZip64(const TZipHeaderInfo& Entry);
// True when a size, the local header offset or the disk number does not fit the central record.
bool CentralNeedsZip64(const TZipHeaderInfo& Entry);
// True when a count, the central directory's size or offset, or a disk number does not fit the
// classic end record.
bool EndNeedsZip64(const TEndCentral& End);

// The Zip64 block for a local header: id, size 16, uncompressed and compressed size.
std::string Zip64LocalExtra(const TZipHeaderInfo& Entry);
// Writes that block; the caller has set LocalExtraLength to count it.
void WriteZip64LocalExtra(TStream& Stream, const TZipHeaderInfo& Entry);
// The Zip64 block for a central record: only the values that do not fit; empty when none.
std::string Zip64CentralExtra(const TZipHeaderInfo& Entry);

// Writes the Zip64 end record at the stream's position and the locator after it. The classic
// end record (TEndCentral::SaveToStream) must follow right behind; it does this itself when
// EndNeedsZip64 holds.
void SaveZip64EndToStream(TStream& Stream, const TEndCentral& End);

namespace detail {

// Takes an extra field apart: the first Zip64 block fills the fields of Entry whose classic
// value is saturated (Local: both sizes; central: the saturated ones, in order); Zip64 blocks
// are dropped, every other block is appended to Others, and bytes from a malformed block
// header on are kept there as they are.
// Returns whether a Zip64 block was present.
bool ParseExtraField(const unsigned char* Data, size_t Size, bool Local, TZipHeaderInfo& Entry,
                     std::string* Others);

// Reads the Zip64 end record that a locator right before EndPosition (the classic end record's
// position) points to, and fills the saturated fields of End from it. False, with End
// unchanged, when there is no valid locator and record.
bool ReadZip64End(TStream& Stream, int64_t EndPosition, TEndCentral& End);

}  // namespace detail

}  // namespace qm
