// A stream with one memory buffer in front of another stream.
//
// The ZIP records are written field by field, two and four bytes at a time; the buffer turns
// those into few large writes, and turns many small reads into few large ones. A write never
// reaches the underlying stream until a full buffer is pending, a seek moves the position, a
// read follows, or the stream is finished. Position queries that do not move the position are
// free and keep a pending write buffer intact, so a writer can ask where it is at any time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Stream.h"

namespace qm {

// Buffer size of streams constructed from now on; each stream keeps the size it was built with.
extern int32_t BufferStreamSize;

class TBufferStream : public TStream {
  public:
    enum TState { Idle = 0, Reading = 1, Writing = 2 };

    explicit TBufferStream(TStream& Stream);
    ~TBufferStream() override;
    TBufferStream(const TBufferStream&) = delete;
    TBufferStream& operator=(const TBufferStream&) = delete;

    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;

    // Reads ahead one buffer; true when at least one byte came.
    virtual bool Refill();
    // Writes the pending bytes; true when the underlying stream took all of them. The pending
    // bytes are dropped either way.
    virtual bool Flush();
    // Makes B the next byte that Read returns; raises EStreamError when there is no room.
    virtual void PutBack(unsigned char B);

    // Writes what is pending and, for a written stream with flush-on-destroy set, commits the
    // file's buffers. False when either failed. The destructor calls it once when it was not
    // called before; it is the caller's only way to learn that the last bytes did not land.
    bool Finish();

    TState State() const { return FState; }
    int32_t BufferSize() const { return FBufferSize; }
    TStream& Underlying() const { return FStream; }

    std::function<void(TBufferStream&)> OnRefill;
    std::function<void(TBufferStream&)> OnFlush;

  protected:
    virtual void DoRefill();
    virtual void DoFlush();
    void SetFlushOnDestroy(bool Value) { FFlushOnDestroy = Value; }
    // Forgets the read-ahead and leaves the underlying stream at the logical position (Idle);
    // for a derived class that is about to change the underlying stream behind the buffer.
    // Pending writes must have been flushed first.
    void DropReadAhead();

  private:
    int64_t BufferedOffset() const;

    TStream& FStream;
    std::unique_ptr<unsigned char[]> FBuffer;
    unsigned char* FCurrent = nullptr;
    unsigned char* FEnd = nullptr;
    int32_t FBufferSize;
    TState FState = Idle;
    bool FFlushOnDestroy = false;
    bool FWritten = false;
    bool FFinished = false;
};

}  // namespace qm
