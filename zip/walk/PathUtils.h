// Small path and string routines shared by the walk, the records, the reader and the writer.
#pragma once

#include <string>

namespace qm {

// Replaces every "\" with "/" in place.
void DosToUnixSeparators(std::string& Text);
// Replaces every "/" with "\" in place.
void UnixToDosSeparators(std::string& Text);

// The last Count characters (the whole text when it is shorter; empty for Count <= 0).
std::string RightPart(const std::string& Text, int Count);
// The first Count characters (the whole text when it is shorter; empty for Count <= 0).
std::string LeftPart(const std::string& Text, int Count);

// The wildcard characters: * ? < > |
bool IsWildcardChar(char C);
// True when Text holds a wildcard character.
bool IsWildcard(const std::string& Text);

// Converts a name from the system code page to the archive's and back. Both are UTF-8 here, so
// names pass unchanged.
void OemFilter(std::string& Text);

// Rewrites every segment of Path as the folder listing spells it. There are no short names:
// with WantLong false every segment is kept as it is; with WantLong true each segment is looked
// up, and one that is not found is left out. A leading "/" and a trailing "/" are kept.
std::string ConvertPathName(const std::string& Path, bool WantLong);

}  // namespace qm
