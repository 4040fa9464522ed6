// A small tmpfs mounted on a test's folder, to meet a file system that is really full.
// Mounting needs root: Mounted() says whether it worked and Why() why not, for the test to skip.
#pragma once

#include <string>

namespace qm::test {

class TTmpfsMount {
  public:
    // Mounts a tmpfs of Size (as mount's size option takes it, e.g. "64k") on Folder.
    TTmpfsMount(const std::string& Folder, const std::string& Size);
    ~TTmpfsMount();
    TTmpfsMount(const TTmpfsMount&) = delete;
    TTmpfsMount& operator=(const TTmpfsMount&) = delete;

    bool Mounted() const { return FMounted; }
    const std::string& Why() const { return FWhy; }

  private:
    std::string FFolder;
    bool FMounted = false;
    std::string FWhy;
};

}  // namespace qm::test
