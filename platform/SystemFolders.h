// Folders the system determines: the current one, the temporary one, the program's own.
// Each is returned without a trailing "/" (the root folder is "/").
#pragma once

#include <string>

namespace qm {

// The current folder; empty when it cannot be determined (it was removed).
std::string GetCurrentDir();
// $TMPDIR when it is set and names a folder, else /tmp.
std::string GetTempFolder();
// The folder of the running program file (/proc/self/exe); empty when unknown.
std::string GetProgramFolder();

}  // namespace qm
