// Unique temporary files, and the leftovers of runs that were killed.
//
// Every temporary file this process makes stays locked (flock) by the process until it is
// deleted through DeleteTempFile or has taken a lasting name (ForgetTempFile). A file of the
// temporary form that nobody holds locked is therefore a leftover of a process that ended
// without cleaning up, and RemoveLeftoverTempFiles may delete it.
#pragma once

#include <string>

namespace qm {

// Creates, exclusively, an empty file (mode 0600: it may come to hold private data) named "XQZ"
// + eight hexadecimal digits + ".TMP" in Folder (with or without a trailing "/"; empty means the
// current folder) and returns its full name. Raises EFCreateError when no such file can be
// created there.
std::string MakeTempFileName(const std::string& Folder);
// Whether Name (without folder) has the form MakeTempFileName gives.
bool IsTempFileName(const std::string& Name);

// Deletes a file, and lets its lock go when it is a temporary file of this process; false when
// the system refused.
bool DeleteTempFile(const std::string& Name);
// A temporary file of this process was renamed to NewName: unless NewName still has the
// temporary form (a file that is to be renamed once more), its lock is let go.
void ForgetTempFile(const std::string& NewName);

// Deletes the files of the temporary form in Folder that no process holds locked. Returns how
// many were deleted.
int RemoveLeftoverTempFiles(const std::string& Folder);

}  // namespace qm
