#include "platform/TempFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/Exception.h"

namespace qm {

std::string MakeTempFileName(const std::string& Folder) {
    std::string prefix = Folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    static std::mt19937 gen{std::random_device{}() ^ static_cast<unsigned>(::getpid())};
    int error = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(gen()));
        std::string name = prefix + "XQZ" + hex + ".TMP";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        error = errno;
        if (error != EEXIST) break;
    }
    throw EFCreateError("Cannot create a temporary file in \"" + Folder + "\". " +
                        std::strerror(error));
}

bool IsTempFileName(const std::string& Name) {
    constexpr size_t kLength = 3 + 8 + 4;
    if (Name.size() != kLength || Name.compare(0, 3, "XQZ") != 0 ||
        Name.compare(kLength - 4, 4, ".TMP") != 0)
        return false;
    for (size_t i = 3; i < 3 + 8; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(Name[i]))) return false;
    return true;
}

}  // namespace qm
