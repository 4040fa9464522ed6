// Room left on a file system.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

// The bytes an unprivileged process may still write on the file system that holds Path (a
// file or folder that exists); -1 when it cannot be determined.
int64_t DiskFree(const std::string& Path);

}  // namespace qm
