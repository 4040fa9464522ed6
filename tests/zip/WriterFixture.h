// Shared set-up of the archive writer's tests: a source tree with every kind of file a back-up
// meets, and a writer configured as the application's sub-folder back-up configures it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <string>
#include <vector>

#include "support/ArchiveCheck.h"
#include "support/TestDir.h"
#include "zip/ZipWriter.h"

namespace qm::test {

// Incompressible bytes, the same for the same seed.
inline std::string NoiseBytes(size_t Size, uint32_t Seed) {
    std::string out(Size, '\0');
    uint64_t x = Seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < Size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

inline std::string TextBytes(size_t Size) {
    static const char* const kWords[] = {"back-up ", "archive ", "folder ", "deflate ",
                                         "letter\n", "budget, ", "notes ",  "2026 "};
    std::string out;
    for (size_t i = 0; out.size() < Size; ++i) out += kWords[(i * 7 + i / 3) % 8];
    out.resize(Size);
    return out;
}

// Sets a file's modification time (whole seconds, local time as DOS stores it).
inline void SetMTime(const std::string& File, time_t When) {
    struct utimbuf t {
        When, When
    };
    ::utime(File.c_str(), &t);
}

// The source tree: every kind of file a back-up meets.
struct SourceTree {
    explicit SourceTree(const TestDir& Dir, const std::string& Sub = "src") : FDir(Dir), FSub(Sub) {
        Root = Dir.Folder(Sub) + "/";
        Add("alpha.txt", TextBytes(30000));
        Add("Empty.dat", "");
        Add("noise.bin", NoiseBytes(70000, 7));
        Add("with space.txt", "a name with a space\n");
        Add("Z\xC3\xBCrich \xC3\xB1.txt", "non-ASCII name\n");
        Add("docs/letter.txt", TextBytes(5000));
        Add("docs/deeper/empty.txt", "");
        Add("docs/deeper/tiny.csv", "a,b\n1,2\n");
        Add("pics/noise2.bin", NoiseBytes(20000, 9));
    }
    std::string Add(const std::string& Relative, const std::string& Content) {
        std::string full = FDir.File(FSub + "/" + Relative, Content);
        // An even second in the past, so that the DOS time keeps it exactly.
        SetMTime(full, 1700000000 + static_cast<time_t>(++FCount) * 2);
        return full;
    }
    // A recursive back-up of "*" with relative paths, in the walk's order (listing order:
    // ASCII letters folded to upper case, a sub folder's files before the rest).
    ExpectedEntries Recursive() const {
        ExpectedEntries e;
        for (const char* f : {"alpha.txt", "docs/deeper/empty.txt", "docs/deeper/tiny.csv",
                              "docs/letter.txt", "Empty.dat", "noise.bin", "pics/noise2.bin",
                              "with space.txt", "Z\xC3\xBCrich \xC3\xB1.txt"})
            e.push_back({f, Root + f});
        return e;
    }
    std::string Root;

  private:
    const TestDir& FDir;
    std::string FSub;
    int FCount = 0;
};

// Configured as the application does for a back-up with sub folders.
inline void ConfigureSubFolderBackUp(TZipWriter& Writer, const std::string& Root,
                                     const std::string& Archive, const std::string& Mask = "*") {
    Writer.SetRootDir(Root);
    Writer.SetZipName(Archive);
    Writer.SetRecurse(true);
    Writer.SetStorePaths(true);
    Writer.SetRelativePaths(true);
    Writer.FilesList().push_back(Root + Mask);
}

inline bool Exists(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

// A regular file that opens and seeks but fails on its first read, or "" where there is none:
// what the kernel offers for that depends on the machine and the user.
inline std::string FileThatFailsOnRead() {
    // A file is read no further than its size at opening: the failing read must lie within it.
    for (const char* candidate : {"/sys/devices/software/power/autosuspend_delay_ms",
                                  "/sys/devices/pnp0/power/autosuspend_delay_ms"}) {
        const int fd = ::open(candidate, O_RDONLY);
        if (fd < 0) continue;
        char byte = 0;
        struct stat st {};
        const bool fails = ::fstat(fd, &st) == 0 && st.st_size > 0 && ::read(fd, &byte, 1) < 0;
        ::close(fd);
        if (fails) return candidate;
    }
    return "";
}

}  // namespace qm::test
