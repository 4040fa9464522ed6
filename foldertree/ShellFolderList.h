// The items of one tree. A node refers to its item by index; deleting an item leaves an empty
// slot, so an index never comes to mean another item while the list lives.
#pragma once

#include <memory>
#include <vector>

#include "foldertree/ShellFolder.h"

namespace qm {

class TShellFolderList {
  public:
    // Takes the item; returns its index.
    int Add(std::unique_ptr<TShellFolder> Folder);
    // Frees the item at Index (no effect on an empty slot or an index out of range).
    void Delete(int Index);
    // The item at Index, or nullptr for an empty slot or an index out of range.
    TShellFolder* operator[](int Index) const;
    void Clear() { FItems.clear(); }
    // Slots, empty ones included.
    int Count() const { return int(FItems.size()); }
    // Items present.
    int Live() const;

  private:
    std::vector<std::unique_ptr<TShellFolder>> FItems;
};

}  // namespace qm
