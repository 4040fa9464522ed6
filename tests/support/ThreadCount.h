// The threads of this process, for tests that check that no worker outlives its work.
#pragma once

#include <dirent.h>

#include <thread>

namespace qm::test {

// The first thread a process starts may bring a helper of the sanitizer's runtime with it, so
// one thread is started and joined before the first count.
inline int ThreadsOfThisProcess() {
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

}  // namespace qm::test
