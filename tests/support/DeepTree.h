// Trees deeper than any single path may name (PATH_MAX): made and removed one folder at a time,
// relative to open folder descriptors, since neither the shell nor std::filesystem reach them.
#pragma once

#include <string>

namespace qm::test {

// Creates Levels nested folders named Segment under Base, then the file Name with Content in
// the deepest one. Returns the deepest folder's full path (without a trailing "/").
std::string MakeDeepTree(const std::string& Base, const std::string& Segment, int Levels,
                         const std::string& Name, const std::string& Content);
// Removes the folder Path and everything in it, at any depth; false when something stayed.
bool RemoveTree(const std::string& Path);

}  // namespace qm::test
