// Compress-ahead: worker threads deflate the files after the one the writer's thread is writing,
// each into memory, so that a back-up uses every core while the archive is still written in
// list order by one thread.
//
// Nothing a worker does is observable: it opens, reads and compresses, and records how it did so
// (each read and each hand-over, in order). The writer's thread later replays that record, firing
// the progress events, writing the data and processing messages exactly where its own
// compression of the file would have. A file too large for memory is compressed into a spool
// (an unnamed temporary file beside the archive), from which the writer's thread copies it. A
// file a worker cannot or should not take (it cannot be opened, is too large even for a spool,
// or may depend on its predecessor, see ReadsInheritedWindowTail) comes back declined, and the
// writer's thread handles it as it always did.
//
// The workers' output is byte for byte the writer's own: the compressor's only state that
// survives a file is the last byte of the window (the file's end zeroes the rest), and a worker
// starts every file with a zeroed window whose last byte is kAssumedWindowTail. Whether a file's
// bytes can depend on that byte is decided by its length alone; such a file is declined, and a
// result whose length changed into that band is checked against the real byte before use.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zip/deflate/DeflateBuffers.h"
#include "zip/deflate/DeflateFile.h"

namespace qm {

// A file too large for memory is compressed into a spool: an unnamed temporary file in the
// archive's folder, which vanishes when it is closed, whatever ends the process. At most this
// many spools exist at once, each for a file of at most kSpoolFileLimit bytes.
inline constexpr int kMaxSpools = 4;
inline constexpr int64_t kSpoolFileLimit = int64_t{4} << 30;

// All results waiting in memory together stay within this many bytes.
inline constexpr size_t kCompressAheadBudget = size_t{32} << 20;
// A file that needs more than this is left to the writer's thread, which streams it: a share of
// the budget small enough that the workers can go on with the small files behind it.
inline constexpr size_t kCompressAheadFileLimit = kCompressAheadBudget / 4;
// The least a record is charged (an empty file): the budget holds at most this many records
// waiting, so a list fed further ahead than that would only hold names.
inline constexpr size_t kCompressAheadMinCharge = 8192;
inline constexpr size_t kCompressAheadNames = kCompressAheadBudget / kCompressAheadMinCharge;

// The window byte that survives from one file into the next, and the value a worker starts with.
inline constexpr uint32_t kWindowTailIndex = kDeflateWindowSize - 1;
inline constexpr uint8_t kAssumedWindowTail = 0;

// Whether a file of Length bytes can compress differently after a different last window byte.
// A shorter file never brings a search near the window's top. A file that fills the window has
// written that byte itself before any search reaches it. In between, a comparison that runs past
// the end of the data can read it: in place, or after the slide at the file's end has copied it
// down to the end of the lower half. Such a comparison reaches at most the window's slack past
// the last byte of data.
constexpr bool ReadsInheritedWindowTail(int64_t Length) {
    return Length >= int64_t{kDeflateWindowSize} - int64_t{kDeflateWindowSlack} &&
           Length < int64_t{kDeflateWindowSize};
}

// The record of one file as a worker compressed it.
struct TCompressedFile {
    // A step is a read of (value) bytes or, with kStepWrite, a hand-over of (value) bytes.
    static constexpr uint32_t kStepWrite = 0x80000000u;

    std::string Name;
    // False: the writer's thread takes the file as if there were no workers.
    bool Compressed = false;

    // What opening the file found, as the writer's own opening would have taken it.
    uint32_t DateTime = 0;
    int64_t SizeAtOpen = 0;
    int64_t ModifiedNs = 0;  // the last-write time (ns) at opening

    std::vector<uint8_t> Data;
    // The data in a spool instead (open for reading and writing; -1 when in Data).
    int SpoolFd = -1;
    std::vector<uint32_t> Steps;
    int64_t BytesRead = 0;
    uint32_t Crc = 0xFFFFFFFFu;  // the accumulator after the last read
    TDeflateResult Result;
    // Compressed from a header with Flags 0, Method 8 and InternalAttributes 2.
    TDeflateEntryBits Bits;
    // The last window byte as the file left it, when the file wrote it.
    bool SetsWindowTail = false;
    uint8_t WindowTail = 0;
    // Raised when the record has been replayed: the file failed there.
    std::exception_ptr Failure;

    // Whether the file on disk now differs from what the worker read, or changed while it was
    // read (another size or last-write time than at opening, or other bytes read than its size
    // at opening). A file that is gone is not: an open file would have read the same.
    bool ChangedSinceRead() const;
    // The same, with the file as Now measures it.
    bool ChangedSinceRead(const struct stat& Now) const;

    // Whether the record may stand for the writer's own compression of the file when the last
    // window byte is WindowTailNow.
    bool UsableAfter(uint8_t WindowTailNow) const {
        return Compressed &&
               (!ReadsInheritedWindowTail(BytesRead) || WindowTailNow == kAssumedWindowTail);
    }

    ~TCompressedFile();

  private:
    friend class TCompressAhead;
    class TCompressAhead* FOwner = nullptr;  // gets the budget back
    size_t FCharge = 0;
    bool FSpoolCounted = false;  // holds one of the pipeline's spools
};

class TCompressAhead {
  public:
    // Starts Threads workers at PackLevel (1..9). They wait for the names of the files the
    // writer will deflate, fed in the order it will ask for them.
    // SpoolFolder is where files too large for memory are spooled; none when empty.
    TCompressAhead(int PackLevel, int Threads, size_t Budget = kCompressAheadBudget,
                   std::string SpoolFolder = {});
    // The same with a list known in full: every file fed, and the list ended.
    TCompressAhead(const std::vector<std::string>& Files, int PackLevel, int Threads,
                   size_t Budget = kCompressAheadBudget);
    // Stops the workers and waits for them: none outlives the pipeline.
    ~TCompressAhead();
    TCompressAhead(const TCompressAhead&) = delete;
    TCompressAhead& operator=(const TCompressAhead&) = delete;

    // Appends a file to the list; EndOfList says no more will come, so that idle workers end.
    void Feed(std::string Name);
    void EndOfList();
    // Files fed and not yet taken.
    size_t Waiting() const;

    // When Name is the next file of the list: waits until a worker is done with it and hands
    // the record over (its memory counts against the budget until the record is destroyed).
    // Null when Name is not the next file; the list does not advance then.
    std::unique_ptr<TCompressedFile> Take(const std::string& Name);

    // Bytes of the budget held now (records waiting or taken and not yet destroyed).
    size_t Charged() const;

  private:
    friend struct TCompressedFile;
    void Work();
    void StopWorkers() noexcept;
    // The list position of the next file to admit and its name; false when the workers are to
    // end. Called with FAdmitting held.
    bool NextToAdmit(size_t& At, std::string& Name);
    // Whether a record just done is to wake the writer; and a wake-up before a worker waits,
    // when the writer waits on records done. Called with FMutex held.
    bool WakeTaker() const;
    void WakeTakerBeforeWaiting();
    // Opens the file and decides whether to take it; on true, Need is its charge.
    bool Admit(TCompressedFile& File, std::unique_ptr<class TBufferedFileStream>& Source,
               size_t& Need);
    void Compress(TCompressedFile& File, class TBufferedFileStream& Source,
                  TDeflateBuffers& Buffers, TDeflateStaticTables& Tables);
    void Refund(size_t Bytes, bool Spool);
    // A new spool in the spool folder; -1 when none can be made.
    int OpenSpool() const;

    const int FPackLevel;
    const size_t FBudget;
    const std::string FSpoolFolder;

    mutable std::mutex FMutex;
    // Each side is woken only when what it waits for may have come: with thousands of small
    // files, waking every thread on every change costs more than the files' compression gains.
    // The admitting worker (the only one that waits here: the others wait for FAdmitting)
    // waits for a name, the end of the list, budget or a spool.
    std::condition_variable FAdmitChanged;
    enum class TAdmitWait { None, ForName, ForBudget };
    TAdmitWait FAdmitWait = TAdmitWait::None;
    // The writer waits for the record at the front of the list, and is woken when a run of them
    // is done (or nothing more will be done before it acts): one wake-up a file would cost each
    // small file a context switch.
    static constexpr size_t kTakeBatch = 16;
    std::condition_variable FFrontDone;
    bool FTakeWaits = false;
    // The list from the writer's position on: names, and the records done, side by side.
    // Position FTaken is at the front; taking it drops it, so the list holds only what lies
    // ahead of the writer, however long the back-up.
    std::deque<std::string> FFiles;
    std::deque<std::unique_ptr<TCompressedFile>> FDone;
    size_t FTaken = 0;  // positions taken so far: the writer's position
    bool FEnded = false;
    size_t FCharged = 0;
    int FSpools = 0;  // spools held by records
    std::atomic<bool> FStopping{false};

    // Held by the worker that is admitting the next file: admission, and so the budget, goes
    // in list order, which keeps the file the writer waits for from starving.
    std::mutex FAdmitting;
    size_t FNextToAdmit = 0;

    std::vector<std::thread> FWorkers;
};

}  // namespace qm
