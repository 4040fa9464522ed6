#include "platform/Stream.h"

#include <algorithm>
#include <vector>

#include "platform/Exception.h"

namespace qm {

void TStream::SetSize(int64_t) {
    throw EStreamError("Stream size cannot be changed");
}

int64_t TStream::Size() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* Buffer, int32_t Count) {
    if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int32_t Count) {
    if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    constexpr int32_t kChunk = 65536;
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(Count, kChunk)));
    int64_t done = 0;
    while (done < Count) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(Count - done, kChunk));
        Source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        done += n;
    }
    return done;
}

}  // namespace qm
