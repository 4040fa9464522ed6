// Standard error captured into a file while the object lives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/TestDir.h"

namespace qm::test {

class TCaptureStderr {
  public:
    explicit TCaptureStderr(std::string File) : FFile(std::move(File)) {
        std::fflush(stderr);
        FSaved = ::dup(2);
        std::FILE* f = std::fopen(FFile.c_str(), "w");
        ::dup2(::fileno(f), 2);
        std::fclose(f);
    }
    ~TCaptureStderr() { Restore(); }
    TCaptureStderr(const TCaptureStderr&) = delete;
    TCaptureStderr& operator=(const TCaptureStderr&) = delete;

    // Stops capturing and returns what was written.
    std::string Text() {
        Restore();
        return ReadWholeFile(FFile);
    }

  private:
    void Restore() {
        if (FSaved < 0) return;
        std::fflush(stderr);
        ::dup2(FSaved, 2);
        ::close(FSaved);
        FSaved = -1;
    }
    std::string FFile;
    int FSaved = -1;
};

}  // namespace qm::test
