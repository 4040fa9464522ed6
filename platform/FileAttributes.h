// The 32-bit attribute word that find-first/find-next and FileGetAttr report.
//
// Linux keeps no archive bit: every regular file reports faArchive set, and nothing can clear
// it. Listings never follow a symbolic link: it reports faSymLink and what the link itself is
// (never faDirectory), so walks never enter a linked folder (no loops, no leaving the folder
// being backed up) and a back-up stores the link as a link. FIFOs, sockets and devices report
// faDevice: they hold no data to back up, and opening one could hang.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace qm {

inline constexpr uint32_t faReadOnly = 0x01;   // the owner has no write permission
inline constexpr uint32_t faHidden = 0x02;     // the name begins with "."
inline constexpr uint32_t faSysFile = 0x04;    // never set on Linux
inline constexpr uint32_t faVolumeID = 0x08;   // never set on Linux
inline constexpr uint32_t faDirectory = 0x10;  // a folder
inline constexpr uint32_t faArchive = 0x20;    // set on every regular file
inline constexpr uint32_t faDevice = 0x40;     // a FIFO, socket or device
inline constexpr uint32_t faSymLink = 0x400;   // the entry is a symbolic link
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
