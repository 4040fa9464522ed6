// What an entry says about the Unix file it was made from, so that a restore gives back the
// mode, the kind of file (a link stays a link) and the exact modification time:
//  - version made by: host 3 (Unix) in the high byte, so that readers look at the mode;
//  - external attributes: st_mode in the high 16 bits above the DOS attribute word;
//  - extended timestamp extra field, the same in the local and the central header:
//      0 id 0x5455, 2 data size 5, 4 flags 1 (modification time present),
//      5 modification time, signed 32-bit seconds since 1970-01-01 UTC.
// The DOS date-time alone holds local time in steps of two seconds from 1980 on: restored under
// another time zone it would shift by hours. A time the 32-bit field cannot hold gets no extra
// field at all rather than a wrapped one, and the DOS field stands alone.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

class TZipHeaderInfo;

inline constexpr uint16_t kUnixHost = 0x0300;
inline constexpr uint16_t kUnixVersionMadeBy = kUnixHost | 20;
inline constexpr uint16_t kTimestampExtraId = 0x5455;
inline constexpr int kTimestampExtraSize = 9;
// A folder entry whose folder is gone.
inline constexpr uint32_t kDefaultFolderMode = 0040755;

// The extended timestamp block for ModifiedSeconds; empty when it does not fit signed 32 bits.
std::string TimestampExtra(int64_t ModifiedSeconds);

// Marks Entry as made on Unix from a file of mode Mode (type and permission bits) last
// written at ModifiedSeconds: the host byte of VersionMadeBy, Mode above the DOS attribute word
// of ExternalAttributes, and the timestamp block as CentralExtra (new entries keep no other).
// The local header carries the same block: TimestampExtra's bytes follow its other extra blocks.
void SetUnixMetadata(TZipHeaderInfo& Entry, uint32_t Mode, int64_t ModifiedSeconds);

}  // namespace qm
