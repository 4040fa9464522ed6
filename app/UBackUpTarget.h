// The back-up file of one run. The new archive is written into a temporary file beside it and
// takes the back-up file's name only once it is complete, so a failed or cancelled run (a full
// disk, an unreadable source, the user) leaves the previous back-up as it was.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/RunLock.h"

namespace qm {

class TBackUpTarget {
  public:
    // Takes the back-up file's lock for the run, notes the identity of an existing back-up file
    // of that name and reserves a temporary name ("XQZ" + hex digits + ".TMP") in its folder.
    // A FileName that is a symbolic link stands for the file it points to, which the run
    // replaces (the link stays). Raises EFCreateError when nothing can be created there, or
    // when FileName names a folder; Exception when another run holds the lock, or when the
    // file exists and is no ZIP archive (it is never replaced).
    explicit TBackUpTarget(std::string FileName);
    // Removes the temporary file unless Commit succeeded.
    ~TBackUpTarget();
    TBackUpTarget(const TBackUpTarget&) = delete;
    TBackUpTarget& operator=(const TBackUpTarget&) = delete;

    const std::string& FileName() const { return FFileName; }
    // Where the run writes. Nothing of that name exists when the run starts, so the run makes
    // a fresh archive and never updates the previous back-up.
    const std::string& TempName() const { return FTempName; }

    // Whether Path is the previous back-up itself (the same file, by device and inode, under
    // whatever name the walk meets it).
    bool IsPreviousBackUp(const std::string& Path) const;

    // Puts the complete temporary file in the back-up file's place (the one replace routine:
    // committed to the disk, the previous back-up's mode, owner and group, or 0600 for a new
    // back-up, which may hold private files). Raises EFCreateError when that fails; the
    // previous back-up is then unchanged.
    void Commit();

  private:
    std::string FFileName;
    std::string FTarget;  // FFileName, or the file a link of that name points to
    std::string FTempName;
    TRunLock FLock;
    bool FHadPrevious = false;
    dev_t FDevice = 0;
    ino_t FInode = 0;
    bool FCommitted = false;
};

// Whether the file FileName holds a ZIP archive (or nothing at all): what a back-up may replace.
// A document that only uses ZIP as its container (OpenDocument, Office Open XML, e-books) is no
// back-up file.
bool IsReplaceableBackUp(const std::string& FileName);

// Why Path cannot be read, as the system says it ("Permission denied", "Not a regular file").
std::string ReasonFileCannotBeRead(const std::string& Path);

// The report line of a file that was left out: "Skipped (cannot be read): PATH: REASON".
std::string SkippedFileLine(const std::string& Path, const std::string& Reason);

}  // namespace qm
