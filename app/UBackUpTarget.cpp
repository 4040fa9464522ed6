#include "app/UBackUpTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/TempFile.h"

namespace qm {

namespace {

std::string FolderOf(const std::string& FileName) {
    size_t slash = FileName.rfind('/');
    if (slash == std::string::npos) return std::string();  // the current folder
    return slash == 0 ? std::string("/") : FileName.substr(0, slash);
}

[[noreturn]] void CannotCreate(const std::string& FileName, const std::string& Why) {
    throw EFCreateError("Cannot create file \"" + FileName + "\". " + Why);
}

}  // namespace

TBackUpTarget::TBackUpTarget(std::string FileName) : FFileName(std::move(FileName)) {
    struct stat st {};
    if (::stat(FFileName.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) CannotCreate(FFileName, std::strerror(EISDIR));
        FHadPrevious = true;
        FDevice = st.st_dev;
        FInode = st.st_ino;
    }
    try {
        FTempName = MakeTempFileName(FolderOf(FFileName));
    } catch (const EFCreateError& e) {
        // Name the file the user asked for, not the temporary one.
        std::string why = e.Message();
        size_t tail = why.find("\". ");
        CannotCreate(FFileName, tail == std::string::npos ? why : why.substr(tail + 3));
    }
    // Only the name is reserved: the writer must find no file there, or it would treat the
    // empty file as an archive to update.
    DeleteFile(FTempName);
}

TBackUpTarget::~TBackUpTarget() {
    if (!FCommitted && !FTempName.empty() && FileExists(FTempName)) DeleteFile(FTempName);
}

bool TBackUpTarget::IsPreviousBackUp(const std::string& Path) const {
    if (!FHadPrevious) return false;
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && st.st_dev == FDevice && st.st_ino == FInode;
}

void TBackUpTarget::Commit() {
    // The rename must not publish an archive whose blocks are still only in memory: after a
    // crash the back-up file would be short where the previous one was whole.
    int fd = ::open(FTempName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fdatasync(fd) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        CannotCreate(FFileName, std::strerror(error));
    }
    ::close(fd);
    if (::rename(FTempName.c_str(), FFileName.c_str()) != 0)
        CannotCreate(FFileName, std::strerror(errno));
    FCommitted = true;
}

std::string ReasonFileCannotBeRead(const std::string& Path) {
    // O_NONBLOCK: a FIFO must not hang the report either.
    int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    struct stat st {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    // The writer's own words for what it refuses to read.
    if (regular) return "cannot be opened";
    return S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
}

std::string SkippedFileLine(const std::string& Path, const std::string& Reason) {
    return "Skipped (cannot be read): " + Path + ": " + Reason;
}

}  // namespace qm
