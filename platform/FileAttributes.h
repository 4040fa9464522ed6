// The 32-bit attribute word that find-first/find-next and FileGetAttr report.
//
// Linux keeps no archive bit: every regular file reports faArchive set, and nothing can clear
// it. A symbolic link to a folder reports faDirectory | faSymLink; walks never enter such a
// folder (no loops, no leaving the folder being backed up).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace qm {

inline constexpr uint32_t faReadOnly = 0x01;   // the owner has no write permission
inline constexpr uint32_t faHidden = 0x02;     // the name begins with "."
inline constexpr uint32_t faSysFile = 0x04;    // never set on Linux
inline constexpr uint32_t faVolumeID = 0x08;   // never set on Linux
inline constexpr uint32_t faDirectory = 0x10;  // a folder (or a link to one, with faSymLink)
inline constexpr uint32_t faArchive = 0x20;    // set on every regular file
inline constexpr uint32_t faSymLink = 0x400;   // the entry is a symbolic link to a folder
inline constexpr uint32_t faAnyFile = 0x3F;
// What FileGetAttr returns for a name that does not exist.
inline constexpr uint32_t faInvalid = 0xFFFFFFFFu;

// The attribute word of an entry called Name (the last segment only; it decides faHidden)
// whose target has the status St.
uint32_t AttributesOf(const std::string& Name, const struct stat& St);

// The attributes of the file or folder FileName (links followed); faInvalid when it does not
// exist, also for a dangling link.
uint32_t FileGetAttr(const std::string& FileName);

}  // namespace qm
