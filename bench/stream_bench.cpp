// Read throughput of the buffered file stream over a 256 MiB temporary file (in the page cache
// after the first pass), for small and large read calls, against the unbuffered file stream.
//   stream_bench [--benchmark_filter=...]
// The file is created in the temporary folder and removed at exit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/SystemFolders.h"
#include "platform/TempFile.h"
#include "zip/BufferedFileStream.h"

namespace {

constexpr int64_t kFileSize = int64_t{256} << 20;

struct TBigFile {
    TBigFile() {
        Name = qm::MakeTempFileName(qm::GetTempFolder());
        qm::TFileStream out(Name, qm::fmCreate);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
        for (int64_t done = 0; done < kFileSize; done += static_cast<int64_t>(block.size()))
            out.WriteBuffer(block.data(), static_cast<int32_t>(block.size()));
    }
    ~TBigFile() { qm::DeleteFile(Name); }
    std::string Name;
};

const std::string& BigFile() {
    static TBigFile file;
    return file.Name;
}

template <class TStreamType>
void ReadAll(benchmark::State& State) {
    const auto chunk = static_cast<int32_t>(State.range(0));
    std::vector<char> buf(static_cast<size_t>(chunk));
    const std::string& name = BigFile();
    for (auto _ : State) {
        TStreamType in(name, qm::fmOpenRead);
        int64_t total = 0;
        for (int32_t n; (n = in.Read(buf.data(), chunk)) > 0;) total += n;
        if (total != kFileSize) State.SkipWithError("short read");
        benchmark::DoNotOptimize(total);
    }
    const double bytes = static_cast<double>(State.iterations()) * kFileSize;
    State.SetBytesProcessed(static_cast<int64_t>(bytes));
    State.counters["GB/s"] = benchmark::Counter(bytes / 1e9, benchmark::Counter::kIsRate);
}

void BM_BufferedFileStreamRead(benchmark::State& State) {
    ReadAll<qm::TBufferedFileStream>(State);
}
BENCHMARK(BM_BufferedFileStreamRead)
    ->Arg(4)
    ->Arg(512)
    ->Arg(65535)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_FileStreamRead(benchmark::State& State) {
    ReadAll<qm::TFileStream>(State);
}
BENCHMARK(BM_FileStreamRead)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
