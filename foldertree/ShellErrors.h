// The errors the folder tree raises.
#pragma once

#include "platform/Exception.h"

namespace qm {

inline constexpr const char* kInvalidFolderMessage = "Invalid folder";
inline constexpr const char* kShellErrorMessage =
    "Operation not supported in this version of the shell";

// A path that cannot be resolved, or whose node cannot be reached from the tree's root.
class EInvalidFolder : public Exception {
  public:
    EInvalidFolder() : Exception(kInvalidFolderMessage) {}
    using Exception::Exception;
};

// A special folder that this system has no folder for.
class EShellError : public Exception {
  public:
    EShellError() : Exception(kShellErrorMessage) {}
    using Exception::Exception;
};

}  // namespace qm
