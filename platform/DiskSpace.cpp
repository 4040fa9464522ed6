#include "platform/DiskSpace.h"

#include <sys/statvfs.h>

namespace qm {

int64_t DiskFree(const std::string& Path) {
    struct statvfs vfs {};
    if (Path.empty() || ::statvfs(Path.c_str(), &vfs) != 0) return -1;
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

}  // namespace qm
