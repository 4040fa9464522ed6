// Paths of any length. The system refuses a path of PATH_MAX bytes or more in a single call,
// yet a file system may nest folders far deeper than that. TPathAt reaches such a path one piece
// at a time: each piece is a folder opened relative to the one before it, and what remains is
// short enough to hand to an *at call (openat, fstatat, unlinkat) together with that folder.
// A short path costs nothing: it is used as it is, relative to the current folder.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm {

class TPathAt {
  public:
    explicit TPathAt(const std::string& Path);
    ~TPathAt();
    TPathAt(const TPathAt&) = delete;
    TPathAt& operator=(const TPathAt&) = delete;

    // The folder that Name() is relative to (AT_FDCWD for a short path).
    int Dir() const { return FDir; }
    const char* Name() const { return FName.c_str(); }
    // 0, or the errno of the folder on the way that could not be opened.
    int Error() const { return FError; }

  private:
    int FDir;
    std::string FName;
    int FError = 0;
};

// stat (Follow) or lstat of a path of any length; 0 or the errno.
int StatPath(const std::string& Path, struct stat& St, bool Follow = true);
// readlink of a path of any length: the bytes of the link's target put in Buffer (not
// terminated; Size bytes means it may have been cut), or -1 with errno set.
int64_t ReadLinkPath(const std::string& Path, char* Buffer, size_t Size);
// open of a path of any length; the descriptor, or -1 with errno set.
int OpenPath(const std::string& Path, int Flags, mode_t Mode = 0);

}  // namespace qm
