#include "platform/PathAt.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace qm {

namespace {

// The longest piece handed to one call, its terminating zero included.
constexpr size_t kPieceLimit = PATH_MAX - 1;

}  // namespace

TPathAt::TPathAt(const std::string& Path) : FDir(AT_FDCWD) {
    if (Path.size() < kPieceLimit) {
        FName = Path;
        return;
    }
    size_t pos = 0;
    while (Path.size() - pos >= kPieceLimit) {
        // The last "/" that keeps the folder piece within the limit; a piece is never empty
        // (an absolute path's first piece starts with its "/").
        const size_t slash = Path.rfind('/', pos + kPieceLimit - 1);
        if (slash == std::string::npos || slash <= pos) {
            FError = ENAMETOOLONG;  // one name longer than any file system allows
            break;
        }
        const std::string piece = Path.substr(pos, slash - pos + 1);
        const int next = ::openat(FDir, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        if (FDir != AT_FDCWD) ::close(FDir);
        FDir = next;
        if (next < 0) {
            FDir = AT_FDCWD;
            FError = error;
            break;
        }
        pos = slash + 1;
    }
    FName = pos < Path.size() ? Path.substr(pos) : std::string(".");
}

TPathAt::~TPathAt() {
    if (FDir != AT_FDCWD) ::close(FDir);
}

int StatPath(const std::string& Path, struct stat& St, bool Follow) {
    if (Path.empty()) return ENOENT;
    TPathAt at(Path);
    if (at.Error() != 0) return at.Error();
    if (::fstatat(at.Dir(), at.Name(), &St, Follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return errno;
    return 0;
}

int64_t ReadLinkPath(const std::string& Path, char* Buffer, size_t Size) {
    TPathAt at(Path);
    if (at.Error() != 0) {
        errno = at.Error();
        return -1;
    }
    return ::readlinkat(at.Dir(), at.Name(), Buffer, Size);
}

int OpenPath(const std::string& Path, int Flags, mode_t Mode) {
    TPathAt at(Path);
    if (at.Error() != 0) {
        errno = at.Error();
        return -1;
    }
    return ::openat(at.Dir(), at.Name(), Flags, Mode);
}

}  // namespace qm
