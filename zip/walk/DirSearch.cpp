#include "zip/walk/DirSearch.h"

#include "platform/FileAttributes.h"
#include "zip/walk/PathUtils.h"
#include "zip/walk/WildcardMatch.h"

namespace qm {

namespace {

bool IsFolder(const TSearchRec& R) {
    return (R.Attr & faDirectory) != 0;
}

// A folder the walk may enter: not "." or "..". A leading dot marks a hidden folder (settings,
// keys, mail), which a back-up must take. Links are never folders here (see FindFile.h).
bool IsSubFolder(const TSearchRec& R) {
    return IsFolder(R) && (R.Attr & faSymLink) == 0 && R.Name != "." && R.Name != "..";
}

}  // namespace

TDirSearch::TDirSearch(const std::string& StartDir, const std::string& FileMask, bool Recurse,
                       TUnlistedFolder OnUnlisted)
    : FFileMask(FileMask), FRecurse(Recurse), FOnUnlisted(std::move(OnUnlisted)) {
    std::string dir = StartDir;
    if (dir.empty() || dir.back() != '/') dir += '/';
    if (IsWildcard(dir)) {
        size_t wild = 0;
        while (!IsWildcardChar(dir[wild])) ++wild;
        size_t slash = wild == 0 ? std::string::npos : dir.rfind('/', wild - 1);
        std::string rest;
        if (slash == std::string::npos) {
            rest = dir;
            dir = "./";
        } else {
            rest = dir.substr(slash + 1);
            dir.resize(slash + 1);
        }
        size_t pos = 0;
        while (pos < rest.size()) {
            size_t end = rest.find('/', pos);
            if (end > pos) FDirMasks.push_back(rest.substr(pos, end - pos));
            pos = end + 1;  // rest ends in "/", so end is never npos
        }
        FWildIndex = 0;
    }
    FBaseDir = dir;
    FLevels.reserve(21);
    Open(0, dir, FDirMasks.empty() ? FFileMask : FDirMasks[0]);
}

TDirSearch::~TDirSearch() = default;

int TDirSearch::OpenLevels() const {
    int n = 0;
    for (auto& l : FLevels) n += l != nullptr;
    return n;
}

TSearchData& TDirSearch::Open(int Level, const std::string& Path, const std::string& Mask) {
    if (static_cast<size_t>(Level) >= FLevels.size())
        FLevels.resize(static_cast<size_t>(Level) + 1);
    FLevels[static_cast<size_t>(Level)] = std::make_unique<TSearchData>(Path, Mask);
    TSearchData& data = *FLevels[static_cast<size_t>(Level)];
    // An empty folder is no failure; anything else means its content is out of reach.
    if (data.FindFirstFailed && data.Status != feNoMoreFiles && FOnUnlisted)
        FOnUnlisted(data.Path, data.Status);
    return data;
}

bool TDirSearch::NextFile(TSearchRec& SearchRec, std::string& FileName) {
    FileName.clear();
    if (FLevel < 0 || static_cast<size_t>(FLevel) >= FLevels.size() || !FLevels[FLevel])
        return false;  // the walk is over
    const int wildCount = WildDirCount();
    TSearchData* cur = FLevels[static_cast<size_t>(FLevel)].get();
    for (;;) {
        if (cur->Exhausted()) {
            FLevels[static_cast<size_t>(FLevel)].reset();
            if (FLevel == 0) return false;
            --FLevel;
            cur = FLevels[static_cast<size_t>(FLevel)].get();
            if (FLevel < wildCount) --FWildIndex;
            cur->Next();  // past the folder just finished
        }
        if (FLevel < wildCount) {
            const std::string& mask = FDirMasks[static_cast<size_t>(FWildIndex)];
            while (!cur->Exhausted() &&
                   !(IsSubFolder(cur->SearchRec) && IsMatch(mask, cur->SearchRec.Name)))
                cur->Next();
            if (cur->Exhausted()) continue;
            const std::string path = cur->Path + cur->SearchRec.Name;
            ++FLevel;
            ++FWildIndex;
            cur =
                &Open(FLevel, path,
                      FLevel < wildCount ? FDirMasks[static_cast<size_t>(FWildIndex)] : FFileMask);
            cur->Next();  // its "." entry
            continue;
        }
        if (!FRecurse)
            while (!cur->Exhausted() && IsFolder(cur->SearchRec)) cur->Next();
        if (!cur->Exhausted() && FRecurse && IsSubFolder(cur->SearchRec)) {
            const std::string path = cur->Path + cur->SearchRec.Name;
            ++FLevel;
            Open(FLevel, path, FFileMask);
            FileName = path + "/";
            return true;
        }
        if (!cur->Exhausted() && !IsFolder(cur->SearchRec)) {
            std::string name = cur->SearchRec.Name;
            // Names without an extension get a "." for matching only, so that "*." can select
            // them; a name that ends in "." of its own keeps it.
            const bool appended = name.find('.') == std::string::npos;
            if (appended) name += '.';
            if (IsMatch(FFileMask, name)) {
                if (appended) name.pop_back();
                SearchRec.Size = cur->SearchRec.Size;
                SearchRec.Size64 = cur->SearchRec.Size64;
                SearchRec.Attr = cur->SearchRec.Attr;
                FileName = cur->Path + name;
                cur->Next();
                return true;
            }
        }
        cur->Next();
    }
}

}  // namespace qm
