#include "app/UBackUpTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Exception.h"
#include "platform/FileOps.h"
#include "platform/ReplaceFile.h"
#include "platform/TempFile.h"

namespace qm {

namespace {

[[noreturn]] void CannotCreate(const std::string& FileName, const std::string& Why) {
    throw EFCreateError("Cannot create file \"" + FileName + "\". " + Why);
}

}  // namespace

TBackUpTarget::TBackUpTarget(std::string FileName)
    : FFileName(std::move(FileName)), FTarget(ReplacementTarget(FFileName)) {
    // Before anything is looked at: two runs on one back-up file would each replace the other's.
    if (!FLock.TryLock(FTarget))
        throw Exception(FormatMessage("\"%s\" is in use by another back-up.", FFileName));
    struct stat st {};
    if (::stat(FTarget.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) CannotCreate(FFileName, std::strerror(EISDIR));
        // A document given as the back-up file by mistake must survive the mistake.
        if (!IsReplaceableBackUp(FTarget))
            throw Exception(FormatMessage(
                "\"%s\" is not a back-up file (not a ZIP archive); choose another name.",
                FFileName));
        FHadPrevious = true;
        FDevice = st.st_dev;
        FInode = st.st_ino;
    }
    try {
        FTempName = MakeTempFileName(ReplacementFolder(FTarget));
    } catch (const EFCreateError& e) {
        // Name the file the user asked for, not the temporary one.
        std::string why = e.Message();
        size_t tail = why.find("\". ");
        CannotCreate(FFileName, tail == std::string::npos ? why : why.substr(tail + 3));
    }
    // Only the name is reserved: the writer must find no file there, or it would treat the
    // empty file as an archive to update.
    DeleteTempFile(FTempName);
}

TBackUpTarget::~TBackUpTarget() {
    if (!FCommitted && !FTempName.empty() && FileExists(FTempName)) DeleteTempFile(FTempName);
}

bool TBackUpTarget::IsPreviousBackUp(const std::string& Path) const {
    if (!FHadPrevious) return false;
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && st.st_dev == FDevice && st.st_ino == FInode;
}

void TBackUpTarget::Commit() {
    const int error = ReplaceFile(FTempName, FTarget, 0600);
    if (error != 0) CannotCreate(FFileName, std::strerror(error));
    FCommitted = true;
}

bool IsReplaceableBackUp(const std::string& FileName) {
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool zip = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (st.st_size == 0) {
            zip = true;  // nothing in it to lose
        } else {
            // The end record lies in the last 22 bytes plus a comment of at most 65,535.
            const off_t tail = std::min<off_t>(st.st_size, 22 + 65535);
            std::string bytes(static_cast<size_t>(tail), '\0');
            if (::pread(fd, bytes.data(), bytes.size(), st.st_size - tail) == tail)
                zip = bytes.rfind(std::string("PK\x05\x06", 4)) != std::string::npos &&
                      bytes.find("[Content_Types].xml") == std::string::npos;
            // Documents that keep their parts in a ZIP container are documents, not back-ups:
            // OpenDocument files and e-books begin with a "mimetype" entry, Office Open XML
            // files list "[Content_Types].xml" in their directory.
            char head[30 + 8];
            if (zip && ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
                std::memcmp(head, "PK\x03\x04", 4) == 0 && head[26] == 8 && head[27] == 0 &&
                std::memcmp(head + 30, "mimetype", 8) == 0)
                zip = false;
        }
    }
    ::close(fd);
    return zip;
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
