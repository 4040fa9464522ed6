// One open level of a folder walk: the listing of one folder and its current entry.
#pragma once

#include <string>

#include "platform/FindFile.h"

namespace qm {

class TSearchData {
  public:
    // Opens the listing of Path (a "/" is appended when missing; an empty Path is the root
    // folder "/"). Every entry is listed; Mask is kept for reference only.
    TSearchData(const std::string& Path, const std::string& Mask);
    ~TSearchData();
    TSearchData(const TSearchData&) = delete;
    TSearchData& operator=(const TSearchData&) = delete;

    // Advances to the next entry unless the listing is exhausted.
    void Next();
    bool Exhausted() const { return Status != 0; }

    std::string Path;  // the folder being listed, always ending in "/"
    std::string Mask;
    int Status = 0;  // 0 while SearchRec is a valid entry; the listing's error code after
    TSearchRec SearchRec;
    bool FindFirstFailed = false;  // the folder could not be listed at all
};

}  // namespace qm
