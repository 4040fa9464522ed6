#include "foldertree/ShellFolderList.h"

#include <algorithm>

namespace qm {

int TShellFolderList::Add(std::unique_ptr<TShellFolder> Folder) {
    FItems.push_back(std::move(Folder));
    return int(FItems.size()) - 1;
}

void TShellFolderList::Delete(int Index) {
    if (Index >= 0 && Index < Count()) FItems[size_t(Index)].reset();
}

TShellFolder* TShellFolderList::operator[](int Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return FItems[size_t(Index)].get();
}

int TShellFolderList::Live() const {
    return int(std::count_if(FItems.begin(), FItems.end(), [](const auto& p) { return !!p; }));
}

}  // namespace qm
