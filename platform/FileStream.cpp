#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Exception.h"
#include "platform/PathAt.h"

namespace qm {

namespace {

std::string SystemError(int Error) {
    return std::strerror(Error);
}

int OpenFlags(unsigned Mode) {
    if (Mode == fmCreate) return O_RDWR | O_CREAT | O_TRUNC;
    switch (Mode & 3u) {
        case fmOpenWrite:
            return O_WRONLY;
        case fmOpenReadWrite:
            return O_RDWR;
        default:
            return O_RDONLY;
    }
}

}  // namespace

int32_t THandleStream::Read(void* Buffer, int32_t Count) {
    if (Count <= 0) return 0;
    char* out = static_cast<char*>(Buffer);
    int32_t total = 0;
    while (total < Count) {
        ssize_t n = ::read(FHandle, out + total, static_cast<size_t>(Count - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EReadError("Stream read error. " + SystemError(errno));
        }
        if (n == 0) break;
        total += static_cast<int32_t>(n);
    }
    return total;
}

int32_t THandleStream::Write(const void* Buffer, int32_t Count) {
    if (Count <= 0) return 0;
    const char* in = static_cast<const char*>(Buffer);
    int32_t total = 0;
    while (total < Count) {
        ssize_t n = ::write(FHandle, in + total, static_cast<size_t>(Count - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            FLastError = errno;
            break;  // a full disk or a refused write: the caller sees the short count
        }
        if (n == 0) break;
        total += static_cast<int32_t>(n);
    }
    return total;
}

int64_t THandleStream::Seek(int64_t Offset, int Origin) {
    int whence = Origin == soCurrent ? SEEK_CUR : Origin == soEnd ? SEEK_END : SEEK_SET;
    off_t pos = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
    if (pos < 0) throw EStreamError("Seek error. " + SystemError(errno));
    return static_cast<int64_t>(pos);
}

void THandleStream::SetSize(int64_t NewSize) {
    if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
        throw EWriteError("Stream write error. " + SystemError(errno));
    if (Position() > NewSize) Seek(NewSize, soBeginning);
}

bool THandleStream::Commit() {
    if (::fdatasync(FHandle) == 0) return true;
    FLastError = errno;
    return false;
}

TFileStream::TFileStream(const std::string& FileName, unsigned Mode)
    : THandleStream(-1), FFileName(FileName) {
    const bool creating = Mode == fmCreate;
    int flags = OpenFlags(Mode) | O_CLOEXEC;
    // Non-blocking so that opening a FIFO never waits for a writer; cleared again below.
    if (!creating) flags |= O_NONBLOCK;
    if (!creating && (Mode & fmNoFollow) != 0) flags |= O_NOFOLLOW;
    int fd = OpenPath(FileName, flags, 0666);
    if (fd < 0) {
        const std::string why = SystemError(errno);
        if (creating) throw EFCreateError("Cannot create file \"" + FileName + "\". " + why, why);
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + why, why);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        const std::string why = S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
        if (creating) throw EFCreateError("Cannot create file \"" + FileName + "\". " + why, why);
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + why, why);
    }
    if (!creating) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FHandle = fd;
}

TFileStream::~TFileStream() {
    Close();
}

bool TFileStream::Close() {
    if (FHandle < 0) return true;
    int rc = ::close(FHandle);
    FHandle = -1;
    if (rc != 0) FLastError = errno;
    return rc == 0;
}

}  // namespace qm
