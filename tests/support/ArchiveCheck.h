// Independent checks of an archive written by the program: the command-line tools of other
// ZIP implementations and python's zipfile must all accept it and see exactly what was meant.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

struct CommandResult {
    int Status = -1;     // exit status; -1 when the command could not run
    std::string Output;  // standard output and standard error together
};

// Runs Command through /bin/sh with a UTF-8 locale.
CommandResult RunCommand(const std::string& Command);
// Single-quotes Text for the shell.
std::string ShellQuote(const std::string& Text);
// True when Program is on the PATH.
bool ToolAvailable(const std::string& Program);
// The Programs that are not on the PATH, joined by ", "; empty when every one is there.
std::string MissingTools(std::initializer_list<const char*> Programs);

// Skips the running test with a message naming the missing tools, when any of the programs
// given is not on the PATH. CheckArchive needs "unzip", "7z", "bsdtar" and "python3";
// ArchiveNames needs "python3".
#define QM_SKIP_WITHOUT_TOOLS(...)                                                             \
    do {                                                                                       \
        const std::string missingTools = ::qm::test::MissingTools({__VA_ARGS__});              \
        if (!missingTools.empty()) GTEST_SKIP() << "needs " << missingTools << " on the PATH"; \
    } while (false)

// What an archive must hold: stored names in archive order, each with its source file (empty
// for a folder entry). Contents, sizes and the DOS date-time are taken from the source.
using ExpectedEntries = std::vector<std::pair<std::string, std::string>>;

// Empty when every check passes, else the first failure. Runs `unzip -tq`, `7z t`,
// `bsdtar -tf` (names compared) and python3's zipfile (testzip, names, sizes, contents,
// dates; the archive comment when Comment is given).
std::string CheckArchive(const std::string& Archive, const ExpectedEntries& Expected,
                         const std::optional<std::string>& Comment = std::nullopt);

// Prefix followed by the end record of an empty archive: a file that a back-up may replace
// (it ends like a ZIP archive), and that an update cannot read entries from.
inline std::string ArchiveEndingIn(const std::string& Prefix) {
    return Prefix + std::string("PK\x05\x06", 4) + std::string(18, '\0');
}

// The stored names of an archive in central-directory order, as python3's zipfile reads them.
std::vector<std::string> ArchiveNames(const std::string& Archive);

}  // namespace qm::test
