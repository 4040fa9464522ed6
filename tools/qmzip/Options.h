// The command line of qmzip, parsed into what the writer is given.
#pragma once

#include <string>
#include <vector>

namespace qm::qmzip {

struct TOptions {
    bool Recurse = false;
    int PackLevel = 6;
    int Threads = 0;                // 0: one per online processor
    std::string Action = "update";  // update, replace or freshen
    std::vector<std::string> Excludes;
    std::vector<std::string> NoCompress;
    std::string RootDir;  // as given; empty for the current folder
    bool Quiet = false;
    bool Check = true;  // read the new archive back before it takes its name
    bool Help = false;
    std::string Archive;
    std::vector<std::string> Specs;
};

// The usage text that --help prints.
extern const char* const UsageText;

// Parses argv[1..]; raises std::invalid_argument with a one-line reason for a bad command line.
TOptions ParseOptions(const std::vector<std::string>& Args);

// The FilesList lines for the specifications: relative ones are taken relative to Root (which
// ends in "/"); a specification that names an existing folder without a trailing "/" stands
// for all its files ("FOLDER/*").
std::vector<std::string> ExpandSpecs(const std::vector<std::string>& Specs,
                                     const std::string& Root);

// The first folder named by Lines (FilesList lines) that does not exist, or "".
std::string MissingFolder(const std::vector<std::string>& Lines);

// Path made absolute against the current folder (lexically; links are not resolved).
std::string AbsolutePath(const std::string& Path);

}  // namespace qm::qmzip
