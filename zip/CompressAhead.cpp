#include "zip/CompressAhead.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/DosDateTime.h"
#include "platform/FileStream.h"
#include "platform/PathAt.h"
#include "zip/BufferedFileStream.h"
#include "zip/checksum/Crc32.h"

namespace qm {

namespace {

// Raised inside a worker's compression to abandon it: the pipeline stops, or the record outgrew
// the charge it was admitted with.
struct TAbandon {};

// A worker's side of the compressor: reads as the writer reads, and keeps what the writer would
// have written, with the order of both.
class TRecordingIO : public TDeflateIO {
  public:
    TRecordingIO(TBufferedFileStream& Source, TCompressedFile& File, const uint8_t* WindowTail,
                 size_t Charge, const std::atomic<bool>& Stopping)
        : FSource(Source), FFile(File), FTail(WindowTail), FCharge(Charge), FStopping(Stopping) {}

    uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) override {
        if (FStopping.load(std::memory_order_relaxed)) throw TAbandon();
        // As the writer reads: no further than the size at opening.
        const int64_t left = FFile.SizeAtOpen - FFile.BytesRead;
        if (left <= 0) return 0;
        if (left < Count) Count = static_cast<uint16_t>(left);
        const int32_t n = FSource.Read(Buffer, Count);
        if (n <= 0) return 0;
        FFile.BytesRead += n;
        FFile.Crc = Crc32Update(FFile.Crc, Buffer, static_cast<size_t>(n));
        const auto tail = reinterpret_cast<uintptr_t>(FTail);
        const auto from = reinterpret_cast<uintptr_t>(Buffer);
        if (tail >= from && tail < from + static_cast<uintptr_t>(n)) FFile.SetsWindowTail = true;
        Record(static_cast<uint32_t>(n));
        return static_cast<uint32_t>(n);
    }

    void WriteOutput(const uint8_t* Buffer, uint32_t Count) override {
        if (FStopping.load(std::memory_order_relaxed)) throw TAbandon();
        if (FFile.SpoolFd >= 0) {
            // A spool that cannot be written (a full disk) only costs the workers' help.
            for (uint32_t done = 0; done < Count;) {
                const ssize_t n = ::write(FFile.SpoolFd, Buffer + done, Count - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) throw TAbandon();
                done += static_cast<uint32_t>(n);
            }
        } else {
            if (FFile.Data.size() + Count > FCharge) throw TAbandon();
            FFile.Data.insert(FFile.Data.end(), Buffer, Buffer + Count);
        }
        Record(Count | TCompressedFile::kStepWrite);
    }

  private:
    void Record(uint32_t Step) {
        if (FFile.Data.size() + (FFile.Steps.size() + 1) * sizeof(uint32_t) > FCharge)
            throw TAbandon();
        FFile.Steps.push_back(Step);
    }

    TBufferedFileStream& FSource;
    TCompressedFile& FFile;
    const uint8_t* const FTail;
    const size_t FCharge;
    const std::atomic<bool>& FStopping;
};

// The charge of a file of Size bytes: its data at worst (a little over its size when it does
// not compress) and the record of its steps.
size_t ChargeFor(int64_t Size) {
    const size_t size = static_cast<size_t>(Size);
    return size + size / 64 + kCompressAheadMinCharge;
}

// The charge of a spooled file: the record of its steps only (hand-overs of at most 1,024
// bytes of coded data, reads of up to 64 KiB), with room to spare.
size_t SpoolChargeFor(int64_t Size) {
    const size_t size = static_cast<size_t>(Size);
    return kCompressAheadMinCharge + sizeof(uint32_t) * (size / 512 + 4096);
}

int64_t LastWriteNs(const struct stat& St) {
    return static_cast<int64_t>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
}

}  // namespace

bool TCompressedFile::ChangedSinceRead() const {
    struct stat st {};
    if (StatPath(Name, st, false) != 0) return BytesRead != SizeAtOpen;
    return ChangedSinceRead(st);
}

bool TCompressedFile::ChangedSinceRead(const struct stat& Now) const {
    return BytesRead != SizeAtOpen || Now.st_size != BytesRead || LastWriteNs(Now) != ModifiedNs;
}

TCompressedFile::~TCompressedFile() {
    if (SpoolFd >= 0) ::close(SpoolFd);
    if (FOwner) FOwner->Refund(FCharge, FSpoolCounted);
}

TCompressAhead::TCompressAhead(int PackLevel, int Threads, size_t Budget, std::string SpoolFolder)
    : FPackLevel(PackLevel), FBudget(Budget), FSpoolFolder(std::move(SpoolFolder)) {
    const int workers = std::max(1, Threads);
    try {
        for (int i = 0; i < workers; ++i) FWorkers.emplace_back([this] { Work(); });
    } catch (...) {
        StopWorkers();
        throw;
    }
}

TCompressAhead::TCompressAhead(const std::vector<std::string>& Files, int PackLevel, int Threads,
                               size_t Budget)
    : TCompressAhead(PackLevel, std::min<int>(Threads, static_cast<int>(Files.size())), Budget) {
    for (const std::string& name : Files) Feed(name);
    EndOfList();
}

TCompressAhead::~TCompressAhead() {
    StopWorkers();
    // Records still waiting give their charge back to a pipeline that is going away.
    for (auto& file : FDone)
        if (file) file->FOwner = nullptr;
    FDone.clear();
}

void TCompressAhead::StopWorkers() noexcept {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStopping = true;
    }
    FAdmitChanged.notify_all();
    FFrontDone.notify_all();
    for (std::thread& worker : FWorkers)
        if (worker.joinable()) worker.join();
    FWorkers.clear();
}

void TCompressAhead::Feed(std::string Name) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FFiles.push_back(std::move(Name));
        FDone.emplace_back();
        wake = FAdmitWait == TAdmitWait::ForName;
    }
    if (wake) FAdmitChanged.notify_one();
}

void TCompressAhead::EndOfList() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FEnded = true;
    }
    FAdmitChanged.notify_one();
}

size_t TCompressAhead::Waiting() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FFiles.size();
}

size_t TCompressAhead::Charged() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCharged;
}

void TCompressAhead::Refund(size_t Bytes, bool Spool) {
    if (Bytes == 0 && !Spool) return;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FCharged -= Bytes;
        if (Spool) --FSpools;
        wake = FAdmitWait == TAdmitWait::ForBudget;
    }
    if (wake) FAdmitChanged.notify_one();
}

int TCompressAhead::OpenSpool() const {
    if (FSpoolFolder.empty()) return -1;
    // No name: nothing to remove, whatever ends the run or the process.
    return ::open(FSpoolFolder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

std::unique_ptr<TCompressedFile> TCompressAhead::Take(const std::string& Name) {
    std::unique_lock<std::mutex> lock(FMutex);
    if (FFiles.empty() || FFiles.front() != Name) return nullptr;
    FTakeWaits = true;
    FFrontDone.wait(lock, [&] { return FDone.front() != nullptr; });
    FTakeWaits = false;
    std::unique_ptr<TCompressedFile> file = std::move(FDone.front());
    FDone.pop_front();
    FFiles.pop_front();
    ++FTaken;
    return file;
}

bool TCompressAhead::WakeTaker() const {
    if (!FTakeWaits || !FDone.front()) return false;
    size_t ready = 0;
    while (ready < kTakeBatch && ready < FDone.size() && FDone[ready]) ++ready;
    // A run long enough; or every file admitted is done, or the admitting worker waits (for
    // names or budget, which only the writer gives): nothing more may come before it acts.
    return ready == kTakeBatch || FTaken + ready == FNextToAdmit || FAdmitWait != TAdmitWait::None;
}

void TCompressAhead::WakeTakerBeforeWaiting() {
    if (FTakeWaits && FDone.front()) FFrontDone.notify_one();
}

bool TCompressAhead::NextToAdmit(size_t& At, std::string& Name) {
    std::unique_lock<std::mutex> lock(FMutex);
    FAdmitWait = TAdmitWait::ForName;
    // No name to admit: only the writer feeds names, and a worker that ends does no more.
    if (FNextToAdmit >= FTaken + FFiles.size()) WakeTakerBeforeWaiting();
    FAdmitChanged.wait(
        lock, [&] { return FStopping || FEnded || FNextToAdmit < FTaken + FFiles.size(); });
    FAdmitWait = TAdmitWait::None;
    if (FStopping || FNextToAdmit >= FTaken + FFiles.size()) return false;
    // Admission is in list order and the writer takes only what was admitted and done, so the
    // position is still in the list.
    At = FNextToAdmit++;
    Name = FFiles[At - FTaken];
    return true;
}

void TCompressAhead::Work() {
    TDeflateBuffers buffers;
    TDeflateStaticTables tables;
    for (;;) {
        auto file = std::make_unique<TCompressedFile>();
        std::unique_ptr<TBufferedFileStream> source;
        size_t at = 0;
        size_t need = 0;
        bool admitted = false;
        {
            std::lock_guard<std::mutex> admitting(FAdmitting);
            if (!NextToAdmit(at, file->Name)) return;
            try {
                admitted = Admit(*file, source, need);
            } catch (...) {
                admitted = false;  // the writer's thread tries the file itself
                source.reset();
            }
            if (admitted) {
                std::unique_lock<std::mutex> lock(FMutex);
                const bool spool = file->SpoolFd >= 0;
                FAdmitWait = TAdmitWait::ForBudget;
                const auto fits = [&] {
                    return FStopping ||
                           (FCharged + need <= FBudget && (!spool || FSpools < kMaxSpools));
                };
                // Only the writer can give budget back: it must not sleep on records waiting.
                if (!fits()) WakeTakerBeforeWaiting();
                FAdmitChanged.wait(lock, fits);
                FAdmitWait = TAdmitWait::None;
                if (FStopping) return;
                FCharged += need;
                if (spool) ++FSpools;
                file->FOwner = this;
                file->FCharge = need;
                file->FSpoolCounted = spool;
            }
        }
        if (admitted) {
            file->Compressed = true;
            // The charge bounds the record; the data of a small file is far less, and a back-up
            // of many small files must not hold the whole budget in reserved bytes.
            if (file->SpoolFd < 0) file->Data.reserve(need - kCompressAheadMinCharge + 64);
            try {
                Compress(*file, *source, buffers, tables);
            } catch (const TAbandon&) {
                if (FStopping) return;  // the record's destructor refunds its charge
                // Grown past its charge: the writer's thread will read it again.
                file->Compressed = false;
                file->Data = {};
                file->Steps = {};
                if (file->SpoolFd >= 0) ::close(file->SpoolFd);
                file->SpoolFd = -1;
            }
            source.reset();
        }
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FDone[at - FTaken] = std::move(file);
            wake = WakeTaker();
        }
        if (wake) FFrontDone.notify_one();
    }
}

bool TCompressAhead::Admit(TCompressedFile& File, std::unique_ptr<TBufferedFileStream>& Source,
                           size_t& Need) {
    try {
        // Opened as the writer's thread opens it; whatever fails here, that thread tries again
        // and reports what it finds.
        // A link is the writer's own to store (as a link): never followed here either.
        Source = std::make_unique<TBufferedFileStream>(File.Name, fmOpenRead | fmNoFollow, false);
    } catch (const std::exception&) {
        return false;
    }
    struct stat st {};
    if (::fstat(Source->Handle(), &st) != 0) return false;
    File.ModifiedNs = LastWriteNs(st);
    File.DateTime = FileAgeOfHandle(Source->Handle());
    File.SizeAtOpen = Source->Size();
    Need = ChargeFor(File.SizeAtOpen);
    if (ReadsInheritedWindowTail(File.SizeAtOpen)) {
        Source.reset();
        return false;
    }
    if (Need <= kCompressAheadFileLimit && Need <= FBudget) return true;
    // Too large for memory: into a spool, when the file is not too large for that either.
    Need = SpoolChargeFor(File.SizeAtOpen);
    if (File.SizeAtOpen <= kSpoolFileLimit && Need <= kCompressAheadFileLimit && Need <= FBudget)
        File.SpoolFd = OpenSpool();
    if (File.SpoolFd < 0) {
        Source.reset();
        return false;
    }
    return true;
}

void TCompressAhead::Compress(TCompressedFile& File, TBufferedFileStream& Source,
                              TDeflateBuffers& Buffers, TDeflateStaticTables& Tables) {
    uint8_t* const window = Buffers.Window();
    window[kWindowTailIndex] = kAssumedWindowTail;
    TRecordingIO io(Source, File, window + kWindowTailIndex, File.FCharge, FStopping);
    try {
        File.Result = DeflateFile(FPackLevel, Buffers, Tables, io, File.Bits);
    } catch (const TAbandon&) {
        // Cut short: the next file must start from a clean window, as a finished file leaves it.
        std::memset(window, 0, kDeflateWindowSize + kDeflateWindowSlack);
        throw;
    } catch (...) {
        std::memset(window, 0, kDeflateWindowSize + kDeflateWindowSlack);
        File.Failure = std::current_exception();
        return;
    }
    File.WindowTail = window[kWindowTailIndex];
}

}  // namespace qm
