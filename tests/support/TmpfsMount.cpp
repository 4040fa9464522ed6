#include "support/TmpfsMount.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qm::test {

TTmpfsMount::TTmpfsMount(const std::string& Folder, const std::string& Size) : FFolder(Folder) {
    if (::geteuid() != 0) {
        FWhy = "mounting needs root";
        return;
    }
    const std::string options = "size=" + Size;
    FMounted = ::mount("tmpfs", Folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!FMounted) FWhy = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
}

TTmpfsMount::~TTmpfsMount() {
    if (FMounted) ::umount2(FFolder.c_str(), MNT_DETACH);
}

}  // namespace qm::test
