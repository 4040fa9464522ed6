#include "platform/SystemFolders.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/FileOps.h"

namespace qm {

namespace {

std::string WithoutTrailingSlash(std::string Path) {
    while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
    return Path;
}

}  // namespace

std::string GetCurrentDir() {
    std::vector<char> buf(PATH_MAX);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

std::string GetTempFolder() {
    const char* dir = std::getenv("TMPDIR");
    if (dir && *dir && DirectoryExists(dir)) return WithoutTrailingSlash(dir);
    return "/tmp";
}

std::string GetProgramFolder() {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buf.size()) {
            std::string exe(buf.data(), static_cast<size_t>(n));
            std::string::size_type slash = exe.find_last_of('/');
            if (slash == std::string::npos) return {};
            return slash == 0 ? "/" : exe.substr(0, slash);
        }
        buf.resize(buf.size() * 2);
    }
}

}  // namespace qm
