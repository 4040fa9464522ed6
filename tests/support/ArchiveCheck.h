// Independent checks of an archive written by the program: the command-line tools of other
// ZIP implementations and python's zipfile must all accept it and see exactly what was meant.
#pragma once

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

// What an archive must hold: stored names in archive order, each with its source file (empty
// for a folder entry). Contents, sizes and the DOS date-time are taken from the source.
using ExpectedEntries = std::vector<std::pair<std::string, std::string>>;

// Empty when every check passes, else the first failure. Runs `unzip -tq`, `7z t`,
// `bsdtar -tf` (names compared) and python3's zipfile (testzip, names, sizes, contents,
// dates; the archive comment when Comment is given).
std::string CheckArchive(const std::string& Archive, const ExpectedEntries& Expected,
                         const std::optional<std::string>& Comment = std::nullopt);

// The stored names of an archive in central-directory order, as python3's zipfile reads them.
std::vector<std::string> ArchiveNames(const std::string& Archive);

}  // namespace qm::test
