// The one way a file the user had is replaced: the back-up, an archive after a create or an
// update, the settings file. The new content is written completely into a temporary file in the
// destination's own folder first; only then does it take the destination's name, in one rename,
// with the destination's mode, owner and group. Whatever ends the process, the name holds
// either the whole old file or the whole new one.
#pragma once

#include <sys/types.h>

#include <string>

namespace qm {

// The file a replacement of FileName writes: FileName itself, or, when FileName is a symbolic
// link (or a chain of them), the file the last link points to, so that the link stays a link.
// A relative link is taken from the folder of the link.
std::string ReplacementTarget(const std::string& FileName);

// The folder a temporary file for a replacement of Target is made in ("." for a bare name).
std::string ReplacementFolder(const std::string& Target);

// Puts TempName, complete, in Target's place: gives it the owner, group and mode of the file
// it replaces (owner and group where the process may set them; NewMode when Target does not
// exist), commits its data (fdatasync), renames it over Target and commits the folder (fsync).
// Target is a resolved name (ReplacementTarget) and TempName lies in its folder. Returns 0, or
// the errno of the step that failed; TempName is then still there, for the caller to remove,
// and Target is as it was.
int ReplaceFile(const std::string& TempName, const std::string& Target, mode_t NewMode);

// The mode open() gives a new file asked for 0666: 0666 less the process's umask.
mode_t DefaultFileMode();

}  // namespace qm
