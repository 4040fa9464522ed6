#include "platform/FileOps.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace qm {

bool FileExists(const std::string& FileName) {
    struct stat st {};
    return !FileName.empty() && ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& Folder) {
    struct stat st {};
    return !Folder.empty() && ::stat(Folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& FileName) {
    return !FileName.empty() && ::unlink(FileName.c_str()) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
    return !OldName.empty() && !NewName.empty() &&
           std::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool CreateDir(const std::string& Folder) {
    return !Folder.empty() && ::mkdir(Folder.c_str(), 0777) == 0;
}

}  // namespace qm
