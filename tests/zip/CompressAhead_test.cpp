// The compress-ahead pipeline on its own: the one piece of state a file inherits from the file
// before it, and the workers' budget, order and shutdown.
#include "zip/CompressAhead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "WindowTailProbe.h"
#include "WriterFixture.h"
#include "support/ThreadCount.h"
#include "zip/deflate/DeflateFile.h"

namespace qm {
namespace {

using test::TestDir;
using test::ThreadsOfThisProcess;

class TMemoryIO : public TDeflateIO {
  public:
    explicit TMemoryIO(const std::string& In) : FIn(In) {}
    uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) override {
        const size_t n = std::min<size_t>(Count, FIn.size() - FAt);
        std::memcpy(Buffer, FIn.data() + FAt, n);
        FAt += n;
        return static_cast<uint32_t>(n);
    }
    void WriteOutput(const uint8_t* Buffer, uint32_t Count) override {
        Out.append(reinterpret_cast<const char*>(Buffer), Count);
    }
    std::string Out;

  private:
    const std::string& FIn;
    size_t FAt = 0;
};

struct TTailRun {
    std::string Out;
    uint8_t TailAfter = 0;
};

// Compresses In with buffers whose last window byte is Tail, as a run leaves them after a file.
TTailRun CompressAfterTail(const std::string& In, int Level, uint8_t Tail) {
    TDeflateBuffers buffers;
    TDeflateStaticTables tables;
    buffers.Window()[kWindowTailIndex] = Tail;
    TMemoryIO io(In);
    TDeflateEntryBits bits;
    DeflateFile(Level, buffers, tables, io, bits);
    return {io.Out, buffers.Window()[kWindowTailIndex]};
}

// Lengths around the window's size: every one where the dependency can show, and a stride
// elsewhere (every length in the long suite).
std::vector<size_t> LengthsAroundTheWindow(size_t Stride) {
    std::vector<size_t> out;
    for (size_t n = 65000; n <= 66000; ++n)
        if (ReadsInheritedWindowTail(static_cast<int64_t>(n)) || n % Stride == 0) out.push_back(n);
    return out;
}

void CheckTailDependency(const std::vector<size_t>& Lengths) {
    int dependent = 0;
    int probed = 0;
    int probes = 0;
    for (size_t n : Lengths) {
        probes += n >= 65286 && n <= 65535;
        const std::string in = test::WindowTailProbe(n, 0xA5, 0x5A, static_cast<uint32_t>(n));
        const TTailRun zero = CompressAfterTail(in, 9, 0);
        const TTailRun tail = CompressAfterTail(in, 9, 0xA5);
        const bool differs = zero.Out != tail.Out;
        // Outside the band the inherited byte never matters; that is what lets a worker
        // compress such a file without waiting for the file before it.
        if (!ReadsInheritedWindowTail(static_cast<int64_t>(n))) {
            EXPECT_FALSE(differs) << n << " bytes depend on the inherited byte";
        }
        // Where the probe is built to show it, the dependency is real: ignoring it would
        // change the archive. (Now and then the noise itself decides first.)
        if (n >= 65286 && n <= 65535) probed += differs;
        dependent += differs;
        // A file shorter than the window passes the byte on; a longer one leaves its own.
        if (n < kDeflateWindowSize) {
            EXPECT_EQ(zero.TailAfter, 0) << n;
            EXPECT_EQ(tail.TailAfter, 0xA5) << n;
        } else {
            EXPECT_EQ(zero.TailAfter, tail.TailAfter) << n;
        }
    }
    EXPECT_GE(probed * 10, probes * 9) << probed << " of " << probes << " probes depend";
    EXPECT_EQ(dependent, probed);
}

TEST(WindowTail, DecidesOnlyFilesInTheBandAndPassesThroughShorterFiles) {
    CheckTailDependency(LengthsAroundTheWindow(7));
}

TEST(WindowTailLong, EveryLengthAroundTheWindow) {
    CheckTailDependency(LengthsAroundTheWindow(1));
}

TEST(WindowTail, TheBandIsBelowTheWindowsSize) {
    EXPECT_FALSE(ReadsInheritedWindowTail(0));
    EXPECT_FALSE(ReadsInheritedWindowTail(65535 - 320 - 1));
    EXPECT_TRUE(ReadsInheritedWindowTail(65535 - 320 + 1));
    EXPECT_TRUE(ReadsInheritedWindowTail(65535));
    EXPECT_FALSE(ReadsInheritedWindowTail(65536));
    TCompressedFile f;
    f.Compressed = true;
    f.BytesRead = 65400;
    EXPECT_TRUE(f.UsableAfter(kAssumedWindowTail));
    EXPECT_FALSE(f.UsableAfter(0x33)) << "a file in the band compressed after the wrong byte";
    f.BytesRead = 70000;
    EXPECT_TRUE(f.UsableAfter(0x33));
    f.Compressed = false;
    EXPECT_FALSE(f.UsableAfter(kAssumedWindowTail));
}

// ---------------------------------------------------------------------------------------
// The pipeline.

std::string CompressedAlone(const std::string& In, int Level) {
    return CompressAfterTail(In, Level, 0).Out;
}

TEST(TCompressAhead, RecordsEqualTheCompressorsOwnOutputInListOrder) {
    TestDir dir;
    std::vector<std::string> files, contents;
    for (int i = 0; i < 12; ++i) {
        contents.push_back(i % 3 == 0 ? test::NoiseBytes(1000 * i + 1, i)
                                      : test::TextBytes(7000 * i + 100));
        files.push_back(dir.File("f" + std::to_string(i), contents.back()));
    }
    TCompressAhead ahead(files, 6, 3);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(ahead.Take(files[(i + 1) % 12]), nullptr) << "only the next file is handed over";
        auto f = ahead.Take(files[i]);
        ASSERT_NE(f, nullptr);
        ASSERT_TRUE(f->Compressed);
        EXPECT_EQ(f->BytesRead, static_cast<int64_t>(contents[i].size()));
        EXPECT_EQ(std::string(f->Data.begin(), f->Data.end()), CompressedAlone(contents[i], 6));
        // The steps account for every byte read and written.
        int64_t read = 0;
        size_t written = 0;
        for (uint32_t s : f->Steps) {
            if (s & TCompressedFile::kStepWrite)
                written += s & ~TCompressedFile::kStepWrite;
            else
                read += s;
        }
        EXPECT_EQ(read, f->BytesRead);
        EXPECT_EQ(written, f->Data.size());
    }
    EXPECT_EQ(ahead.Take(files[0]), nullptr);
}

TEST(TCompressAhead, DeclinesWhatTheWritersThreadMustDo) {
    TestDir dir;
    const std::string band = dir.File("band", test::NoiseBytes(65400, 1));
    const std::string big = dir.File("big", std::string(kCompressAheadFileLimit + 1, 'b'));
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string gone = dir / "gone";
    const std::string fine = dir.File("fine", "fine");
    TCompressAhead ahead({band, big, fifo, gone, fine}, 6, 2);
    for (const std::string& name : {band, big, fifo, gone}) {
        auto f = ahead.Take(name);
        ASSERT_NE(f, nullptr);
        EXPECT_FALSE(f->Compressed) << name;
    }
    auto f = ahead.Take(fine);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->Compressed);
}

TEST(TCompressAhead, AReadErrorIsKeptForTheWritersThreadToRaise) {
    const std::string failing = test::FileThatFailsOnRead();
    if (failing.empty()) GTEST_SKIP() << "no file here fails on reading";
    TestDir dir;
    const std::string after = dir.File("after.txt", std::string(5000, 'a'));
    TCompressAhead ahead({failing, after}, 6, 2);
    auto f = ahead.Take(failing);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->Compressed);
    ASSERT_TRUE(f->Failure);
    EXPECT_THROW(std::rethrow_exception(f->Failure), std::exception);
    // The worker goes on from a clean window.
    auto g = ahead.Take(after);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->Compressed);
    EXPECT_FALSE(g->Failure);
    EXPECT_EQ(g->BytesRead, 5000);
}

TEST(TCompressAhead, WaitingRecordsStayWithinTheBudget) {
    TestDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 24; ++i)
        files.push_back(dir.File("n" + std::to_string(i), test::NoiseBytes(300000, i)));
    const size_t charge = 300000 + 300000 / 64 + 8192;
    const size_t budget = 3 * charge + 1000;
    TCompressAhead ahead(files, 1, 4, budget);
    // Nothing is taken yet: the workers run ahead until the budget is used up, and no further.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (ahead.Charged() < 3 * charge && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(ahead.Charged(), 3 * charge);
    for (const std::string& name : files) {
        auto f = ahead.Take(name);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(f->Compressed);
        EXPECT_LE(ahead.Charged(), budget);
    }
}

// The writer sleeps through runs of small records and is woken for a run, or when the workers
// can do nothing more without it (they wait for names or budget). Every way the workers can come
// to wait must wake it: a missed wake-up hangs the back-up (and this test, until its timeout).
TEST(TCompressAhead, TheWriterIsWokenWhateverTheWorkersWaitFor) {
    TestDir dir;
    const size_t smallCharge = 20000 + 20000 / 64 + kCompressAheadMinCharge;
    const size_t bigSize = 1500000;
    const size_t bigCharge = bigSize + bigSize / 64 + kCompressAheadMinCharge;
    std::vector<std::string> files;
    // A slow file first, then small ones a second worker finishes while it runs.
    files.push_back(dir.File("big", test::NoiseBytes(bigSize, 7)));
    for (int i = 0; i < 60; ++i)
        files.push_back(dir.File("s" + std::to_string(i), test::TextBytes(20000 + i % 7)));
    struct TRow {
        const char* Name;
        size_t Budget;
        int Threads;
        bool FedOneByOne;
    };
    const TRow rows[] = {
        // The second worker fills the budget behind the slow file and waits, with fewer records
        // done than make a run.
        {"budget full behind the slow file", bigCharge + 3 * smallCharge + 100, 2, false},
        {"budget of one record", bigCharge, 3, false},
        // The workers wait for every name.
        {"fed one by one", kCompressAheadBudget, 2, true},
        {"many workers, little budget", bigCharge + 5 * smallCharge, 8, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        std::unique_ptr<TCompressAhead> ahead;
        if (row.FedOneByOne) {
            ahead = std::make_unique<TCompressAhead>(6, row.Threads, row.Budget);
        } else {
            ahead = std::make_unique<TCompressAhead>(files, 6, row.Threads, row.Budget);
        }
        for (const std::string& name : files) {
            if (row.FedOneByOne) ahead->Feed(name);
            auto f = ahead->Take(name);
            ASSERT_NE(f, nullptr);
            EXPECT_TRUE(f->Compressed) << name;
            EXPECT_EQ(f->BytesRead, f->SizeAtOpen) << name;
        }
        if (row.FedOneByOne) ahead->EndOfList();
    }
}

TEST(TCompressAhead, StoppingJoinsEveryWorkerAndFreesWaitingRecords) {
    TestDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i)
        files.push_back(dir.File("t" + std::to_string(i), test::TextBytes(200000 + i)));
    const int before = ThreadsOfThisProcess();
    std::unique_ptr<TCompressedFile> kept;
    {
        TCompressAhead ahead(files, 9, 8);
        EXPECT_EQ(ThreadsOfThisProcess(), before + 8);
        kept = ahead.Take(files[0]);
        kept.reset();
    }
    EXPECT_EQ(ThreadsOfThisProcess(), before);
}

}  // namespace
}  // namespace qm
