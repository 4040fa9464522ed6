#include "platform/RunLock.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace qm {

namespace {

uint64_t Fnv1a(const std::string& Text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : Text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

bool TRunLock::TryLock(const std::string& Target) {
    Unlock();
    const size_t slash = Target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : Target.substr(0, slash));
    const std::string name = slash == std::string::npos ? Target : Target.substr(slash + 1);
    // The folder by identity, so that every spelling of its path takes the same lock.
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return true;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // sun_path[0] stays 0: a name in the abstract namespace, not a file.
    const int length = std::snprintf(
        address.sun_path + 1, sizeof address.sun_path - 1, "quillmate-run/%llx/%llx/%016llx",
        static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
        static_cast<unsigned long long>(Fnv1a(name)));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // no sockets at all: nothing to lock with, the run goes on
    const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        const int error = errno;
        ::close(fd);
        return error != EADDRINUSE;
    }
    FFd = fd;
    return true;
}

void TRunLock::Unlock() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
}

}  // namespace qm
