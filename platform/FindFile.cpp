#include "platform/FindFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/DosDateTime.h"
#include "platform/FileAttributes.h"
#include "platform/PathAt.h"

namespace qm {

struct TFindHandle {
    std::string Folder;  // with a trailing "/"
    std::vector<std::string> Names;
    size_t Next = 0;
};

namespace {

int DotRank(const std::string& Name) {
    if (Name == ".") return 0;
    if (Name == "..") return 1;
    return 2;
}

unsigned char Upper(unsigned char C) {
    return C >= 'a' && C <= 'z' ? static_cast<unsigned char>(C - 'a' + 'A') : C;
}

constexpr int kEntryGone = -1;

// Fills F from the entry Name of the listing: 0, kEntryGone when the entry no longer exists, or
// the errno that keeps it from being looked at.
int Describe(const TFindHandle& H, const std::string& Name, TSearchRec& F) {
    const std::string full = H.Folder + Name;
    struct stat st {};
    if (const int error = StatPath(full, st, false); error != 0)
        return error == ENOENT ? kEntryGone : error;
    F.Name = Name;
    F.Attr = AttributesOf(Name, st);
    F.Size64 = S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    F.Size = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(F.Size64)));
    F.Time = DosDateTimeFromTime(st.st_mtime);
    return 0;
}

int Advance(TSearchRec& F) {
    TFindHandle* h = F.FindHandle.get();
    if (!h) return feNoMoreFiles;
    while (h->Next < h->Names.size()) {
        const std::string& name = h->Names[h->Next++];
        const int rc = Describe(*h, name, F);
        if (rc == 0) return 0;
        if (rc == kEntryGone) continue;
        // A folder that can be read but not searched names its entries and lets none be looked
        // at, "." first: its content is out of reach, which must not pass for an empty folder.
        if (DotRank(name) < 2) return rc;
        // One entry that cannot be looked at is still listed, bare, so that whoever opens it
        // meets the error and reports it; the rest of the listing goes on.
        F.Name = name;
        F.Attr = 0;
        F.Size64 = 0;
        F.Size = 0;
        F.Time = 0;
        return 0;
    }
    return feNoMoreFiles;
}

}  // namespace

bool ListingOrderLess(const std::string& A, const std::string& B) {
    int ra = DotRank(A), rb = DotRank(B);
    if (ra != rb) return ra < rb;
    const size_t n = std::min(A.size(), B.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char a = Upper(static_cast<unsigned char>(A[i]));
        unsigned char b = Upper(static_cast<unsigned char>(B[i]));
        if (a != b) return a < b;
    }
    if (A.size() != B.size()) return A.size() < B.size();
    return A < B;  // equal when folded: the bytes decide
}

int FindFirst(const std::string& Spec, uint32_t, TSearchRec& F) {
    FindClose(F);
    auto h = std::make_shared<TFindHandle>();
    std::string::size_type slash = Spec.find_last_of('/');
    std::string mask;
    if (slash == std::string::npos) {
        h->Folder = "./";
        mask = Spec;
    } else {
        h->Folder = Spec.substr(0, slash + 1);
        mask = Spec.substr(slash + 1);
    }
    const std::string openName = h->Folder == "./" ? "." : h->Folder;
    const bool all = mask == "*" || mask == "*.*";
    const bool wild = mask.find_first_of("*?") != std::string::npos;
    if (!all && !wild) {
        // One name: report it when it exists, like a listing of one entry.
        if (mask.empty() || Describe(*h, mask, F) != 0) {
            struct stat st {};
            int err = mask.empty() ? 0 : StatPath(h->Folder + mask, st, false);
            return err && err != ENOENT ? err : feNoMoreFiles;
        }
        F.FindHandle = h;
        h->Next = 0;
        return 0;
    }
    // Through a descriptor, so that a folder of any path length can be listed.
    const int fd = OpenPath(openName, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        return error ? error : feNoMoreFiles;
    }
    int listError = 0;
    for (;;) {
        errno = 0;
        dirent* e = ::readdir(dir);
        if (!e) {
            // The end, or a listing that broke off: the latter is a folder that could not be
            // listed, never a complete one.
            listError = errno;
            break;
        }
        std::string name = e->d_name;
        if (all || (name != "." && name != ".." &&
                    ::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0))
            h->Names.push_back(std::move(name));
    }
    ::closedir(dir);
    if (listError != 0) return listError;
    std::sort(h->Names.begin(), h->Names.end(), ListingOrderLess);
    F.FindHandle = h;
    int rc = Advance(F);
    if (rc != 0) F.FindHandle.reset();
    return rc;
}

int FindNext(TSearchRec& F) {
    return Advance(F);
}

void FindClose(TSearchRec& F) {
    F.FindHandle.reset();
}

}  // namespace qm
