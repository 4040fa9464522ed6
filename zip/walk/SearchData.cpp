#include "zip/walk/SearchData.h"

#include "platform/FileAttributes.h"

namespace qm {

TSearchData::TSearchData(const std::string& APath, const std::string& AMask)
    : Path(APath), Mask(AMask) {
    if (Path.empty() || Path.back() != '/') Path += '/';
    Status = FindFirst(Path + "*.*", faAnyFile, SearchRec);
    FindFirstFailed = Status != 0;
}

TSearchData::~TSearchData() {
    if (!FindFirstFailed) FindClose(SearchRec);
}

void TSearchData::Next() {
    if (Status == 0) Status = FindNext(SearchRec);
}

}  // namespace qm
