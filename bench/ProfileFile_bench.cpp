// Settings-file access on a large file: every access reads (or rewrites) the whole file, so its
// cost must stay linear in the file's size. The file is 10 MB of other programs' sections with
// this program's section at the very end.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ProfileFile.h"

namespace {

constexpr size_t kFileSize = 10 * 1024 * 1024;

const std::string& LargeIni() {
    static const std::string path = [] {
        std::string folder = std::filesystem::temp_directory_path().string() + "/qmbench-XXXXXX";
        if (!mkdtemp(folder.data())) std::abort();
        static std::string removeAtExit = folder;
        std::atexit([] { std::filesystem::remove_all(removeAtExit); });
        std::string file = folder + "/QMApps.ini";
        std::ofstream out(file, std::ios::binary);
        size_t written = 0;
        for (int section = 0; written < kFileSize; ++section) {
            std::string block = "[Other Program " + std::to_string(section) + "]\r\n";
            for (int key = 0; key < 50; ++key)
                block += "Key" + std::to_string(key) + " = some value of this key ; " +
                         std::string(key % 40, 'x') + "\r\n";
            block += "; a comment line\r\n\r\n";
            out << block;
            written += block.size();
        }
        out << "[Quillmate Last]\nBackUpFile=/home/user/backup/My Documents.zip\n";
        return file;
    }();
    return path;
}

void BM_ReadLastValueOf10MB(benchmark::State& State) {
    qm::TProfileFile ini(LargeIni());
    for (auto _ : State) {
        std::string value = ini.ReadString("quillmate last", "backupfile", "");
        if (value != "/home/user/backup/My Documents.zip") State.SkipWithError("wrong value");
        benchmark::DoNotOptimize(value);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * kFileSize);
}
BENCHMARK(BM_ReadLastValueOf10MB)->Unit(benchmark::kMillisecond);

void BM_ReadMissingKeyOf10MB(benchmark::State& State) {
    qm::TProfileFile ini(LargeIni());
    for (auto _ : State) benchmark::DoNotOptimize(ini.ReadInteger("Quillmate Window", "Left", 192));
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * kFileSize);
}
BENCHMARK(BM_ReadMissingKeyOf10MB)->Unit(benchmark::kMillisecond);

void BM_WriteValueOf10MB(benchmark::State& State) {
    qm::TProfileFile ini(LargeIni());
    int n = 0;
    for (auto _ : State) ini.WriteInteger("Quillmate Window", "Left", n++);
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * kFileSize);
}
BENCHMARK(BM_WriteValueOf10MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
