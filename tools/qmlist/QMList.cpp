// qmlist [-r] FOLDER MASK...
//
// Prints, in walk order, every file that a back-up of FOLDER with those masks takes, one line
// each: CRC-32 (eight hex digits), size in bytes, path. Each mask is walked on its own, as the
// writer does with one specification FOLDER/MASK per mask. A file that cannot be opened (a FIFO,
// a socket, a file that vanished) is reported on standard error and skipped.
//
// Exit status: 0 when every file was read, 1 when some were skipped, 2 for a usage error or a
// folder that does not exist.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/checksum/Crc32.h"
#include "zip/walk/DirSearch.h"

namespace qm {
namespace {

struct TChecksum {
    uint32_t Crc = 0;
    int64_t Size = 0;
};

TChecksum ChecksumOf(const std::string& FileName) {
    TBufferedFileStream in(FileName, fmOpenRead | fmShareDenyWrite);
    std::vector<unsigned char> block(65535);
    uint32_t crc = 0xFFFFFFFFu;
    TChecksum result;
    for (;;) {
        const int32_t n = in.Read(block.data(), static_cast<int32_t>(block.size()));
        if (n <= 0) break;
        crc = Crc32Block(crc, block.data(), static_cast<uint16_t>(n));
        result.Size += n;
    }
    result.Crc = crc ^ 0xFFFFFFFFu;
    return result;
}

int Run(int argc, char** argv) {
    bool recurse = false;
    int arg = 1;
    if (arg < argc && std::string(argv[arg]) == "-r") {
        recurse = true;
        ++arg;
    }
    if (argc - arg < 2) {
        std::fprintf(stderr, "usage: qmlist [-r] FOLDER MASK...\n");
        return 2;
    }
    std::string folder = argv[arg++];
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!DirectoryExists(folder)) {
        std::fprintf(stderr, "qmlist: %s: no such folder\n", folder.c_str());
        return 2;
    }
    bool skipped = false;
    for (; arg < argc; ++arg) {
        // One specification per mask, split again at its last "/" as the writer splits it.
        const std::string spec = (folder == "/" ? "" : folder) + "/" + argv[arg];
        const std::string::size_type slash = spec.find_last_of('/');
        TDirSearch search(spec.substr(0, slash), spec.substr(slash + 1), recurse);
        TSearchRec rec;
        std::string name;
        while (search.NextFile(rec, name)) {
            if (name.back() == '/') continue;  // a sub folder being entered
            try {
                const TChecksum sum = ChecksumOf(name);
                std::printf("%08x %" PRId64 " %s\n", sum.Crc, sum.Size, name.c_str());
            } catch (const Exception& e) {
                std::fprintf(stderr, "qmlist: skipped: %s\n", e.what());
                skipped = true;
            }
        }
    }
    return skipped ? 1 : 0;
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    try {
        return qm::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qmlist: %s\n", e.what());
        return 2;
    }
}
