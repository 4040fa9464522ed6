// The folder walk behind one file specification: a start folder, a file mask and whether sub
// folders are searched.
//
// The walk is depth-first in listing order: a sub folder's path (ending in "/") is reported
// just before its content, and its whole content comes before the rest of its parent. Sub
// folders are entered whether or not their names match the mask; folders whose names begin
// with "." and linked folders are never entered. There is no depth limit: the level stack grows
// as needed (linked folders are never entered, so no walk can loop).
//
// A start folder holding wildcard characters is split at the "/" before its first wildcard: the
// part before is listed, and each later segment is a mask for one level of folders (files of
// those levels are never returned). Example: "/data/2*/lo?s/" lists /data and takes the .txt
// files of /data/2.../lo?s/. A relative start whose first wildcard comes before any "/" (such as
// "a*/") is taken from the current folder: the fixed part is "./".
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FindFile.h"
#include "zip/walk/SearchData.h"

namespace qm {

// A folder the walk could not list (its path, ending in "/", and the system's error number).
// Nothing in it is returned, so a back-up must tell its user about it.
using TUnlistedFolder = std::function<void(const std::string& Folder, int Error)>;

class TDirSearch {
  public:
    // OnUnlisted, when given, hears of every folder the walk tried to list and could not: the
    // start folder (before the first NextFile) and every folder it enters.
    TDirSearch(const std::string& StartDir, const std::string& FileMask, bool Recurse,
               TUnlistedFolder OnUnlisted = {});
    // Releases every level still open (a walk may be abandoned at any point).
    ~TDirSearch();
    TDirSearch(const TDirSearch&) = delete;
    TDirSearch& operator=(const TDirSearch&) = delete;

    // The next result: the full path of a matching file (SearchRec.Size, Size64 and Attr then
    // hold its size and attributes; no other member is written), the path of a sub folder being
    // entered (ending in
    // "/"; only when recursing), or the empty string once the walk is over. Returns
    // !FileName.empty().
    bool NextFile(TSearchRec& SearchRec, std::string& FileName);

    int Level() const { return FLevel; }
    // Levels currently open.
    int OpenLevels() const;
    const std::vector<std::string>& DirMasks() const { return FDirMasks; }
    int WildDirCount() const { return static_cast<int>(FDirMasks.size()); }
    int WildIndex() const { return FWildIndex; }
    // The folder the walk lists first (the start folder, or its fixed part).
    const std::string& BaseDir() const { return FBaseDir; }

  private:
    TSearchData& Open(int Level, const std::string& Path, const std::string& Mask);

    std::vector<std::unique_ptr<TSearchData>> FLevels;
    int FLevel = 0;
    std::string FFileMask;
    bool FRecurse;
    std::vector<std::string> FDirMasks;
    int FWildIndex = -1;
    std::string FBaseDir;
    TUnlistedFolder FOnUnlisted;
};

}  // namespace qm
