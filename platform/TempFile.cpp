#include "platform/TempFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <utility>

#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/PathAt.h"

namespace qm {

namespace {

// The descriptors that hold this process's temporary files locked, by (device, inode): a file
// keeps its lock under whatever name it is renamed to.
class TTempLocks {
  public:
    void Hold(int Fd) {
        struct stat st {};
        if (::fstat(Fd, &st) != 0) {
            ::close(Fd);
            return;
        }
        std::lock_guard<std::mutex> lock(FMutex);
        auto [at, added] = FFds.emplace(std::make_pair(st.st_dev, st.st_ino), Fd);
        if (!added) {
            ::close(at->second);
            at->second = Fd;
        }
    }
    void Release(const struct stat& St) {
        std::lock_guard<std::mutex> lock(FMutex);
        auto at = FFds.find({St.st_dev, St.st_ino});
        if (at == FFds.end()) return;
        ::close(at->second);
        FFds.erase(at);
    }

  private:
    std::mutex FMutex;
    std::map<std::pair<dev_t, ino_t>, int> FFds;
};

TTempLocks& Locks() {
    static TTempLocks* locks = new TTempLocks;  // never destroyed: used until the process ends
    return *locks;
}

}  // namespace

std::string MakeTempFileName(const std::string& Folder) {
    std::string prefix = Folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    static std::mt19937 gen{std::random_device{}() ^ static_cast<unsigned>(::getpid())};
    static std::mutex genMutex;
    int error = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char hex[9];
        {
            std::lock_guard<std::mutex> lock(genMutex);
            std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(gen()));
        }
        std::string name = prefix + "XQZ" + hex + ".TMP";
        int fd = ::open(name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno;
            if (error != EEXIST) break;
            continue;
        }
        // Another process's clean-up may have found the file between its creation and the
        // lock, and deleted it: then it has no name any more, and another one is made.
        struct stat st {};
        if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        Locks().Hold(fd);
        return name;
    }
    throw EFCreateError("Cannot create a temporary file in \"" + Folder + "\". " +
                        std::strerror(error));
}

bool IsTempFileName(const std::string& Name) {
    constexpr size_t kLength = 3 + 8 + 4;
    if (Name.size() != kLength || Name.compare(0, 3, "XQZ") != 0 ||
        Name.compare(kLength - 4, 4, ".TMP") != 0)
        return false;
    for (size_t i = 3; i < 3 + 8; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(Name[i]))) return false;
    return true;
}

bool DeleteTempFile(const std::string& Name) {
    if (Name.empty()) return false;
    struct stat st {};
    const bool known = StatPath(Name, st, false) == 0;
    const bool deleted = DeleteFile(Name);
    if (known) Locks().Release(st);
    return deleted;
}

void ForgetTempFile(const std::string& NewName) {
    const size_t slash = NewName.rfind('/');
    if (IsTempFileName(slash == std::string::npos ? NewName : NewName.substr(slash + 1))) return;
    struct stat st {};
    if (::lstat(NewName.c_str(), &st) == 0) Locks().Release(st);
}

int RemoveLeftoverTempFiles(const std::string& Folder) {
    const std::string folder = Folder.empty() ? std::string(".") : Folder;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (dirent* e = ::readdir(dir)) {
        if (!IsTempFileName(e->d_name)) continue;
        const int fd = ::openat(dirFd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        struct stat named {};
        // Only an unlocked regular file, still the one of that name, is a leftover. Its lock is
        // kept until it is gone, so that no run can take it up meanwhile.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == st.st_dev && named.st_ino == st.st_ino &&
            ::unlinkat(dirFd, e->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

}  // namespace qm
