#include "zip/BufferStream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/Exception.h"
#include "platform/FileStream.h"

namespace qm {

int32_t BufferStreamSize = 8192;

namespace {

// The stream messages carry one leading character whose code is the length of the rest, as
// they stand in the string table.
std::string Counted(const std::string& Text) {
    return std::string(1, static_cast<char>(Text.size())) + Text;
}

}  // namespace

TBufferStream::TBufferStream(TStream& Stream)
    : FStream(Stream),
      FBuffer(new unsigned char[static_cast<size_t>(std::max<int32_t>(BufferStreamSize, 1))]),
      FBufferSize(std::max<int32_t>(BufferStreamSize, 1)) {
    FEnd = FBuffer.get() + FBufferSize;
}

TBufferStream::~TBufferStream() {
    if (!FFinished) Finish();
}

bool TBufferStream::Finish() {
    FFinished = true;
    bool ok = true;
    if (FState == Writing) ok = Flush();
    if (FFlushOnDestroy && FWritten) {
        if (auto* handle = dynamic_cast<THandleStream*>(&FStream)) ok = handle->Commit() && ok;
    }
    return ok;
}

int64_t TBufferStream::BufferedOffset() const {
    switch (FState) {
        case Reading:
            return FCurrent - FEnd;
        case Writing:
            return FCurrent - FBuffer.get();
        default:
            return 0;
    }
}

bool TBufferStream::Refill() {
    int32_t n = FStream.Read(FBuffer.get(), FBufferSize);
    FCurrent = FBuffer.get();
    FEnd = FBuffer.get() + std::max<int32_t>(n, 0);
    FState = n > 0 ? Reading : Idle;
    DoRefill();
    return n > 0;
}

bool TBufferStream::Flush() {
    int32_t pending = static_cast<int32_t>(FCurrent - FBuffer.get());
    int32_t written = pending > 0 ? FStream.Write(FBuffer.get(), pending) : 0;
    FCurrent = FBuffer.get();
    FState = Idle;
    DoFlush();
    return written == pending;
}

void TBufferStream::PutBack(unsigned char B) {
    if (FCurrent == nullptr || FCurrent <= FBuffer.get())
        throw EStreamError(Counted("Putback overflow"));
    --FCurrent;
    *FCurrent = B;
}

void TBufferStream::DropReadAhead() {
    if (FState == Reading) FStream.Seek(BufferedOffset(), soCurrent);
    FCurrent = nullptr;
    FState = Idle;
}

void TBufferStream::DoRefill() {
    if (OnRefill) OnRefill(*this);
}

void TBufferStream::DoFlush() {
    if (OnFlush) OnFlush(*this);
}

int32_t TBufferStream::Read(void* Buffer, int32_t Count) {
    if (FState == Writing) {
        Flush();
        FCurrent = FEnd;
    } else if (FState == Idle) {
        // Idle holds no readable bytes: after a seek there is no current pointer, and after a
        // flush of a full buffer the buffer still holds what was written.
        FCurrent = FEnd;
    }
    auto* out = static_cast<unsigned char*>(Buffer);
    int32_t total = 0;
    while (Count > 0) {
        if (FCurrent == FEnd && !Refill()) break;
        int32_t n = std::min<int32_t>(Count, static_cast<int32_t>(FEnd - FCurrent));
        std::memcpy(out + total, FCurrent, static_cast<size_t>(n));
        FCurrent += n;
        Count -= n;
        total += n;
    }
    return total;
}

int32_t TBufferStream::Write(const void* Buffer, int32_t Count) {
    if (FState != Writing) {
        if (FState == Reading) {
            FStream.Seek(BufferedOffset(), soCurrent);  // discards the read-ahead
            FState = Idle;
        }
        FCurrent = FBuffer.get();
        FEnd = FBuffer.get() + FBufferSize;
    }
    FWritten = true;
    FFinished = false;
    const auto* in = static_cast<const unsigned char*>(Buffer);
    int32_t total = 0;
    while (Count > 0) {
        int32_t n = std::min<int32_t>(Count, static_cast<int32_t>(FEnd - FCurrent));
        std::memcpy(FCurrent, in + total, static_cast<size_t>(n));
        FCurrent += n;
        total += n;
        Count -= n;
        // The chunk just copied went down with the failed flush: report it as not accepted.
        if (FCurrent == FEnd && !Flush()) return total - n;
    }
    if (FCurrent != FBuffer.get()) FState = Writing;
    return total;
}

int64_t TBufferStream::Seek(int64_t Offset, int Origin) {
    const int64_t position = FStream.Seek(0, soCurrent) + BufferedOffset();
    int64_t target;
    bool overflow = false;
    switch (Origin) {
        case soBeginning:
            target = Offset;
            break;
        case soCurrent:
            overflow = __builtin_add_overflow(position, Offset, &target);
            break;
        case soEnd: {
            int64_t size = std::max(position, FStream.Size());
            // Both signs move back from the end; the magnitude of INT64_MIN has no int64_t.
            const uint64_t back =
                Offset < 0 ? 0 - static_cast<uint64_t>(Offset) : static_cast<uint64_t>(Offset);
            overflow = back > static_cast<uint64_t>(size);
            target = overflow ? -1 : size - static_cast<int64_t>(back);
            break;
        }
        default:
            throw Exception(FormatMessage(Counted("Invalid seek origin (%d)"), Origin));
    }
    // A target before the start (or beyond any position) is not a seek the stream can make.
    if (overflow || target < 0) throw Exception(Counted("Seek error"));
    if (target == position) return target;
    if (FState == Writing && !Flush()) throw Exception(Counted("Seek error"));
    FStream.Seek(target, soBeginning);
    FCurrent = nullptr;
    FState = Idle;
    return target;
}

}  // namespace qm
