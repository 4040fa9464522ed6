// Whole-file operations by name.
#pragma once

#include <string>

namespace qm {

// True when FileName names something that is not a folder (links followed: a dangling link
// does not exist). A FIFO or device exists; opening it for reading fails.
bool FileExists(const std::string& FileName);
// True when Folder names a folder (links followed).
bool DirectoryExists(const std::string& Folder);
// Removes the file (a link itself, not its target); false when the system refused.
bool DeleteFile(const std::string& FileName);
// Renames, replacing NewName when it exists; false when the system refused (for instance
// across file systems).
bool RenameFile(const std::string& OldName, const std::string& NewName);
// Creates one folder; false when it could not be created (also when it exists).
bool CreateDir(const std::string& Folder);

}  // namespace qm
