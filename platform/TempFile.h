// Unique temporary files.
#pragma once

#include <string>

namespace qm {

// Creates, exclusively, an empty file named "XQZ" + eight hexadecimal digits + ".TMP" in
// Folder (with or without a trailing "/"; empty means the current folder) and returns its full
// name. Raises EFCreateError when no such file can be created there.
std::string MakeTempFileName(const std::string& Folder);
// Whether Name (without folder) has the form MakeTempFileName gives.
bool IsTempFileName(const std::string& Name);

}  // namespace qm
