// CRC-32 throughput over 64 MiB for every method, with zlib's crc32 as an anchor.
//   crc32_bench [--benchmark_filter=...]
// The GB/s counter is decimal gigabytes per second.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "zip/checksum/Crc32.h"

namespace {

constexpr size_t kSize = size_t{64} << 20;

const std::vector<unsigned char>& Data() {
    static const std::vector<unsigned char> data = [] {
        std::vector<unsigned char> v(kSize);
        std::mt19937_64 gen(1);
        for (auto& b : v) b = static_cast<unsigned char>(gen());
        return v;
    }();
    return data;
}

void Report(benchmark::State& State) {
    const double bytes = static_cast<double>(State.iterations()) * kSize;
    State.SetBytesProcessed(static_cast<int64_t>(bytes));
    State.counters["GB/s"] = benchmark::Counter(bytes / 1e9, benchmark::Counter::kIsRate);
}

void BM_Crc32Method(benchmark::State& State, qm::TCrc32Method Method) {
    if (!qm::Crc32MethodAvailable(Method)) {
        State.SkipWithError("not supported by this processor");
        return;
    }
    const auto& d = Data();
    for (auto _ : State)
        benchmark::DoNotOptimize(qm::Crc32UpdateWith(Method, 0xFFFFFFFFu, d.data(), d.size()));
    Report(State);
}
BENCHMARK_CAPTURE(BM_Crc32Method, Table, qm::TCrc32Method::Table)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Crc32Method, Slicing8, qm::TCrc32Method::Slicing8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Crc32Method, Clmul, qm::TCrc32Method::Clmul)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Crc32Method, Clmul512, qm::TCrc32Method::Clmul512)
    ->Unit(benchmark::kMillisecond);

// What the writer does: the dispatched block form over 65,535-byte blocks.
void BM_Crc32Block64K(benchmark::State& State) {
    const auto& d = Data();
    for (auto _ : State) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t pos = 0; pos < d.size(); pos += 65535) {
            const size_t n = std::min<size_t>(65535, d.size() - pos);
            crc = qm::Crc32Block(crc, d.data() + pos, static_cast<uint16_t>(n));
        }
        benchmark::DoNotOptimize(crc);
    }
    Report(State);
}
BENCHMARK(BM_Crc32Block64K)->Unit(benchmark::kMillisecond);

void BM_ZlibCrc32(benchmark::State& State) {
    const auto& d = Data();
    for (auto _ : State) benchmark::DoNotOptimize(crc32(0L, d.data(), static_cast<uInt>(d.size())));
    Report(State);
}
BENCHMARK(BM_ZlibCrc32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
