#include "platform/FileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/PathAt.h"

namespace qm {

bool FileExists(const std::string& FileName) {
    struct stat st {};
    return StatPath(FileName, st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& Folder) {
    struct stat st {};
    return StatPath(Folder, st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& FileName) {
    if (FileName.empty()) return false;
    TPathAt at(FileName);
    return at.Error() == 0 && ::unlinkat(at.Dir(), at.Name(), 0) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
    return !OldName.empty() && !NewName.empty() &&
           std::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool CreateDir(const std::string& Folder) {
    return !Folder.empty() && ::mkdir(Folder.c_str(), 0777) == 0;
}

}  // namespace qm
