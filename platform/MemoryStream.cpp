#include "platform/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"

namespace qm {

int32_t TMemoryStream::Read(void* Buffer, int32_t Count) {
    if (Count <= 0 || FPosition >= static_cast<int64_t>(FData.size())) return 0;
    int64_t n = std::min<int64_t>(Count, static_cast<int64_t>(FData.size()) - FPosition);
    std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return static_cast<int32_t>(n);
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
    if (Count <= 0) return 0;
    int64_t end = FPosition + Count;
    if (end > static_cast<int64_t>(FData.size())) FData.resize(static_cast<size_t>(end));
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition = end;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, int Origin) {
    int64_t target = Origin == soCurrent ? FPosition + Offset
                     : Origin == soEnd   ? static_cast<int64_t>(FData.size()) + Offset
                                         : Offset;
    if (target < 0) throw EStreamError("Seek error");
    FPosition = target;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) throw EStreamError("Seek error");
    FData.resize(static_cast<size_t>(NewSize));
    FPosition = std::min(FPosition, NewSize);
}

}  // namespace qm
