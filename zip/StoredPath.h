// How a file's path becomes the directory part of its stored name.
//
// Stored names are always relative and never climb out of the archive: the path is first
// normalised lexically ("." and ".." segments resolved, repeated "/" collapsed), then the part
// below the root folder is kept (with relative paths), or the whole folder path without its
// leading "/". Every user of stored names (adding a file, matching a file with an old entry,
// the freshen test) goes through these routines, so that they always agree.
#pragma once

#include <string>

namespace qm {

// "." and ".." segments resolved, runs of "/" collapsed; a leading "/" and a trailing "/" are
// kept. ".." segments that would climb above the start are dropped.
std::string NormalizePath(const std::string& Path);

// The folder part of Path up to and including its last "/" (empty when it has none).
std::string DirectoryPart(const std::string& Path);
// The part of Path after its last "/".
std::string NamePart(const std::string& Path);

struct TStoredPathRules {
    bool StorePaths = false;
    bool RelativePaths = false;
    bool StoreVolumes = false;
    std::string RootDir;  // empty or ending in "/"
};

// The stored directory part ("" or ending in "/") for the file or folder entry FileName.
// Empty unless StorePaths is set.
std::string StoredDirectoryOf(const std::string& FileName, const TStoredPathRules& Rules);

// The whole stored name of FileName (directory part and name part; a folder entry ends in "/").
std::string StoredNameOf(const std::string& FileName, const TStoredPathRules& Rules);

}  // namespace qm
