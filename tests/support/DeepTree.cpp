#include "support/DeepTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace qm::test {

std::string MakeDeepTree(const std::string& Base, const std::string& Segment, int Levels,
                         const std::string& Name, const std::string& Content) {
    int dir = ::open(Base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) throw std::runtime_error("cannot open " + Base);
    std::string path = Base;
    for (int i = 0; i < Levels; ++i) {
        if (::mkdirat(dir, Segment.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("mkdirat failed");
        int next = ::openat(dir, Segment.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(dir);
        if (next < 0) throw std::runtime_error("openat failed");
        dir = next;
        path += "/" + Segment;
    }
    int fd = ::openat(dir, Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(dir);
    if (fd < 0) throw std::runtime_error("cannot create the deep file");
    const bool ok =
        ::write(fd, Content.data(), Content.size()) == static_cast<ssize_t>(Content.size());
    ::close(fd);
    if (!ok) throw std::runtime_error("cannot write the deep file");
    return path;
}

namespace {

bool RemoveContent(int Dir) {
    DIR* listing = ::fdopendir(Dir);
    if (!listing) {
        ::close(Dir);
        return false;
    }
    bool ok = true;
    while (dirent* e = ::readdir(listing)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::fstatat(Dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            ::fchmodat(Dir, name.c_str(), 0700, 0);
            int sub = ::openat(Dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ok = sub >= 0 && RemoveContent(sub) && ok;
            ok = ::unlinkat(Dir, name.c_str(), AT_REMOVEDIR) == 0 && ok;
        } else {
            ok = ::unlinkat(Dir, name.c_str(), 0) == 0 && ok;
        }
    }
    ::closedir(listing);
    return ok;
}

}  // namespace

bool RemoveTree(const std::string& Path) {
    int dir = ::open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    return RemoveContent(dir) && ::rmdir(Path.c_str()) == 0;
}

}  // namespace qm::test
