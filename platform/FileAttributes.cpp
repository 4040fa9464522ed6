#include "platform/FileAttributes.h"

#include "platform/PathAt.h"

namespace qm {

uint32_t AttributesOf(const std::string& Name, const struct stat& St) {
    uint32_t attr = 0;
    if (S_ISDIR(St.st_mode)) attr |= faDirectory;
    if (S_ISREG(St.st_mode)) attr |= faArchive;
    if (S_ISLNK(St.st_mode)) attr |= faSymLink;
    if (S_ISFIFO(St.st_mode) || S_ISSOCK(St.st_mode) || S_ISCHR(St.st_mode) || S_ISBLK(St.st_mode))
        attr |= faDevice;
    if ((St.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
    if (!Name.empty() && Name[0] == '.') attr |= faHidden;
    return attr;
}

uint32_t FileGetAttr(const std::string& FileName) {
    struct stat st {};
    if (StatPath(FileName, st) != 0) return faInvalid;
    std::string::size_type slash = FileName.find_last_of('/');
    std::string name = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
    return AttributesOf(name, st);
}

}  // namespace qm
