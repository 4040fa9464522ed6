// Compresses two corpora with DeflateFile and with zlib's raw deflate at levels 1, 6 and 9, in the
// same run, and prints the speed and compressed size of both and the ratio of the speeds.
//
//   text:   every regular file under /usr/include, concatenated in sorted path order;
//   binary: the regular .so files under /usr/lib/x86_64-linux-gnu in sorted path order, the
//           first 64 MiB of them.
//
// Usage: deflate_bench [--reps N] [--max-mib M] [--levels 1,6,9]
// Each figure is the best of N runs (default 3), in CPU time. --max-mib cuts both corpora (for
// quick looks).
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zip/deflate/DeflateFile.h"

namespace {

namespace fs = std::filesystem;

std::string ReadCorpus(const fs::path& Root, bool (*Wanted)(const fs::path&), size_t Limit) {
    std::vector<fs::path> Files;
    std::error_code Ec;
    for (auto It = fs::recursive_directory_iterator(
             Root, fs::directory_options::skip_permission_denied, Ec);
         It != fs::recursive_directory_iterator(); It.increment(Ec)) {
        if (Ec) break;
        if (It->is_symlink() || !It->is_regular_file()) continue;
        if (Wanted(It->path())) Files.push_back(It->path());
    }
    std::sort(Files.begin(), Files.end());
    std::string All;
    for (const auto& F : Files) {
        if (All.size() >= Limit) break;
        std::ifstream In(F, std::ios::binary);
        All.append(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }
    if (All.size() > Limit) All.resize(Limit);
    return All;
}

bool AnyFile(const fs::path&) {
    return true;
}
bool SharedObject(const fs::path& P) {
    const std::string Name = P.filename().string();
    const size_t At = Name.find(".so");
    return At != std::string::npos && (At + 3 == Name.size() || Name[At + 3] == '.');
}

// Reads from memory and only counts the output: the compressor alone is measured.
class TBenchIO : public qm::TDeflateIO {
  public:
    explicit TBenchIO(const std::string& In) : FIn(In) {}
    uint32_t ReadInput(uint8_t* Buffer, uint16_t Count) override {
        const size_t N = std::min<size_t>(Count, FIn.size() - FPos);
        std::memcpy(Buffer, FIn.data() + FPos, N);
        FPos += N;
        return static_cast<uint32_t>(N);
    }
    void WriteOutput(const uint8_t*, uint32_t Count) override { Written += Count; }
    uint64_t Written = 0;

  private:
    const std::string& FIn;
    size_t FPos = 0;
};

// CPU time of this process: the machine is shared, and wall time would measure the neighbours.
double CpuSeconds() {
    timespec T;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return T.tv_sec + T.tv_nsec * 1e-9;
}

struct TRun {
    double Seconds;
    uint64_t Bytes;
};

TRun RunOurs(const std::string& In, int Level, qm::TDeflateBuffers& Buffers,
             qm::TDeflateStaticTables& Tables) {
    TBenchIO IO(In);
    qm::TDeflateEntryBits Entry;
    const double T0 = CpuSeconds();
    const auto R = qm::DeflateFile(Level, Buffers, Tables, IO, Entry);
    const double T1 = CpuSeconds();
    if (R.CompressedSize != IO.Written) std::fprintf(stderr, "size mismatch\n");
    return {T1 - T0, R.CompressedSize};
}

TRun RunZlib(const std::string& In, int Level, std::vector<unsigned char>& Out) {
    const double T0 = CpuSeconds();
    z_stream Z{};
    deflateInit2(&Z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(In.data()));
    uint64_t Total = 0;
    size_t Left = In.size();
    int Rc = Z_OK;
    do {
        const uInt Chunk = static_cast<uInt>(std::min<size_t>(Left, 1u << 20));
        Z.avail_in = Chunk;
        Left -= Chunk;
        const int Flush = Left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            Z.next_out = Out.data();
            Z.avail_out = static_cast<uInt>(Out.size());
            Rc = deflate(&Z, Flush);
            Total += Out.size() - Z.avail_out;
        } while (Z.avail_out == 0);
    } while (Left != 0 || Rc != Z_STREAM_END);
    deflateEnd(&Z);
    const double T1 = CpuSeconds();
    return {T1 - T0, Total};
}

}  // namespace

int main(int argc, char** argv) {
    int Reps = 3;
    size_t MaxBytes = SIZE_MAX;
    std::vector<int> Levels = {1, 6, 9};
    for (int I = 1; I < argc; ++I) {
        if (!std::strcmp(argv[I], "--reps") && I + 1 < argc)
            Reps = std::atoi(argv[++I]);
        else if (!std::strcmp(argv[I], "--max-mib") && I + 1 < argc)
            MaxBytes = static_cast<size_t>(std::atof(argv[++I]) * 1048576);
        else if (!std::strcmp(argv[I], "--levels") && I + 1 < argc) {
            Levels.clear();
            for (const char* P = argv[++I]; *P; ++P)
                if (*P >= '1' && *P <= '9') Levels.push_back(*P - '0');
        }
    }

    struct TCorpus {
        const char* Name;
        std::string Bytes;
    };
    std::vector<TCorpus> Corpora;
    Corpora.push_back({"text", ReadCorpus("/usr/include", AnyFile, MaxBytes)});
    Corpora.push_back({"binary", ReadCorpus("/usr/lib/x86_64-linux-gnu", SharedObject,
                                            std::min<size_t>(MaxBytes, 64u << 20))});

    qm::TDeflateBuffers Buffers;
    qm::TDeflateStaticTables Tables;
    std::vector<unsigned char> ZOut(1 << 20);
    std::printf("%-7s %5s %10s | %10s %12s | %10s %12s | %7s %8s\n", "corpus", "level", "MiB",
                "ours MB/s", "ours bytes", "zlib MB/s", "zlib bytes", "speed", "size");
    for (const auto& C : Corpora) {
        const double MB = C.Bytes.size() / 1e6;
        for (int Level : Levels) {
            TRun Ours{1e99, 0}, Z{1e99, 0};
            for (int R = 0; R < Reps; ++R) {
                const TRun A = RunOurs(C.Bytes, Level, Buffers, Tables);
                const TRun B = RunZlib(C.Bytes, Level, ZOut);
                if (A.Seconds < Ours.Seconds) Ours = A;
                if (B.Seconds < Z.Seconds) Z = B;
            }
            std::printf("%-7s %5d %10.1f | %10.1f %12llu | %10.1f %12llu | %6.2fx %+7.2f%%\n",
                        C.Name, Level, C.Bytes.size() / 1048576.0, MB / Ours.Seconds,
                        static_cast<unsigned long long>(Ours.Bytes), MB / Z.Seconds,
                        static_cast<unsigned long long>(Z.Bytes), Z.Seconds / Ours.Seconds,
                        100.0 * (static_cast<double>(Ours.Bytes) - Z.Bytes) / Z.Bytes);
            std::fflush(stdout);
        }
    }
    return 0;
}
