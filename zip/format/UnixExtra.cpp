#include "zip/format/UnixExtra.h"

#include <limits>

#include "zip/format/RecordIO.h"
#include "zip/format/ZipHeaderInfo.h"

namespace qm {

std::string TimestampExtra(int64_t ModifiedSeconds) {
    if (ModifiedSeconds < std::numeric_limits<int32_t>::min() ||
        ModifiedSeconds > std::numeric_limits<int32_t>::max())
        return {};
    unsigned char block[kTimestampExtraSize];
    detail::Put16(block + 0, kTimestampExtraId);
    detail::Put16(block + 2, kTimestampExtraSize - 4);
    block[4] = 1;  // only the modification time follows
    detail::Put32(block + 5, static_cast<uint32_t>(static_cast<int32_t>(ModifiedSeconds)));
    return std::string(reinterpret_cast<const char*>(block), sizeof block);
}

void SetUnixMetadata(TZipHeaderInfo& Entry, uint32_t Mode, int64_t ModifiedSeconds) {
    Entry.VersionMadeBy = static_cast<uint16_t>(kUnixHost | (Entry.VersionMadeBy & 0xFF));
    Entry.ExternalAttributes = (Mode & 0xFFFFu) << 16 | (Entry.ExternalAttributes & 0xFFFFu);
    Entry.CentralExtra = TimestampExtra(ModifiedSeconds);
}

}  // namespace qm
