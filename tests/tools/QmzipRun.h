// Running the qmzip under test from the tools' tests.
#pragma once

#include <sys/stat.h>

#include <string>

#include "support/ArchiveCheck.h"

namespace qm::test {

inline CommandResult Qmzip(const std::string& Args) {
    return RunCommand(ShellQuote(QMZIP_PATH) + " " + Args);
}

inline bool Exists(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

}  // namespace qm::test
