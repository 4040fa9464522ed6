// Find-first / find-next over a folder.
//
// The whole folder is read when the listing opens, so an open listing holds no descriptor and
// a walk of any depth cannot run out of them. The listing returns "." and ".." first, then
// every other entry sorted by name (ASCII letters folded to upper case, ties by byte value), so
// that the same folder always yields the same order. Each entry is examined when it becomes
// current:
//  - a symbolic link is never followed: it reports faSymLink, its own time, and the length of
//    its target as its size, whatever it points to (a file, a folder, nothing);
//  - an entry that vanished since the folder was read is left out;
//  - FIFOs, sockets and devices report faDevice.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qm {

// What FindFirst/FindNext return once the listing is exhausted.
inline constexpr int feNoMoreFiles = 18;

struct TFindHandle;  // the listing behind a TSearchRec

struct TSearchRec {
    uint32_t Time = 0;   // last-write time, local DOS date-time
    int32_t Size = 0;    // the low 32 bits of Size64, as 32-bit records hold it
    int64_t Size64 = 0;  // the full size in bytes
    uint32_t Attr = 0;   // attribute word (FileAttributes.h)
    std::string Name;    // the entry's name, without a folder
    std::shared_ptr<TFindHandle> FindHandle;
};

// Spec is a folder, "/" and a mask. The masks "*" and "*.*" list every entry; a mask with "*"
// or "?" lists the entries it matches regardless of letter case (without "." and ".."); any
// other mask looks up that one name. Attr is accepted for symmetry and filters nothing.
// Returns 0 and fills F with the first entry, or an error: the system's errno when the folder
// cannot be read or searched, feNoMoreFiles when nothing matched.
int FindFirst(const std::string& Spec, uint32_t Attr, TSearchRec& F);
// Advances F; 0, or feNoMoreFiles once the listing is exhausted. An entry that cannot be
// looked at (but for "." and "..", whose failure fails the listing) comes bare: no attributes,
// size or time, so that opening it meets the error.
int FindNext(TSearchRec& F);
// Releases the listing (also done when F is destroyed).
void FindClose(TSearchRec& F);

// The listing order: "." and ".." before all, then by name with ASCII letters folded to upper
// case, then by bytes. True when A comes before B.
bool ListingOrderLess(const std::string& A, const std::string& B);

}  // namespace qm
