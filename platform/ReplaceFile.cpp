#include "platform/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/TempFile.h"

namespace qm {

namespace {

std::string FolderOf(const std::string& FileName) {
    const size_t slash = FileName.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : FileName.substr(0, slash);
}

// The target of the link Name, or empty when Name is no link.
std::string LinkTarget(const std::string& Name) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink(Name.c_str(), target.data(), target.size());
        if (n < 0) return std::string();
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

}  // namespace

std::string ReplacementTarget(const std::string& FileName) {
    std::string name = FileName;
    // As many links as the system itself follows before it gives up (ELOOP).
    for (int hops = 0; hops < 40; ++hops) {
        std::string target = LinkTarget(name);
        if (target.empty()) return name;
        if (target[0] != '/') {
            const size_t slash = name.rfind('/');
            if (slash != std::string::npos) target = name.substr(0, slash + 1) + target;
        }
        name = std::move(target);
    }
    return name;
}

std::string ReplacementFolder(const std::string& Target) {
    return FolderOf(Target);
}

int ReplaceFile(const std::string& TempName, const std::string& Target, mode_t NewMode) {
    const int fd = ::open(TempName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;
    struct TClose {
        int Fd;
        ~TClose() { ::close(Fd); }
    } close{fd};

    struct stat old {};
    mode_t mode = NewMode & 07777;
    if (::stat(Target.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) return EISDIR;
        // The owner first: a change of owner clears the set-id bits that the mode then restores.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, -1, old.st_gid) != 0) {
            // Not permitted for others' files: the new one then belongs to whoever wrote it.
        }
        mode = old.st_mode & 07777;
    }
    if (::fchmod(fd, mode) != 0) return errno;
    // The rename must not publish a file whose blocks are still only in memory: after a crash
    // the name would hold a short file where the old one was whole.
    if (::fdatasync(fd) != 0) return errno;
    if (::rename(TempName.c_str(), Target.c_str()) != 0) return errno;
    ForgetTempFile(Target);
    // The rename itself made durable. A failure here loses nothing: the data is on the disk and
    // the name holds either file.
    const int dirFd = ::open(FolderOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
}

mode_t DefaultFileMode() {
    // Read, not set: changing the umask to learn it would race with other threads creating
    // files. Read each time: the process may change it between runs.
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned parsed = 0;
            if (std::sscanf(line, "Umask: %o", &parsed) == 1) {
                mask = static_cast<mode_t>(parsed) & 0777;
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

}  // namespace qm
