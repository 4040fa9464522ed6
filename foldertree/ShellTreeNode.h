// A node of the folder tree model: the item it shows (by index in the model's item list), its
// place among its siblings, and what the tree knows of its children.
#pragma once

#include <memory>
#include <vector>

namespace qm {

struct TShellTreeNode {
    TShellTreeNode(int Index, TShellTreeNode* Parent) : Index(Index), Parent(Parent) {}

    // An expand button: a node shows one while it has children, or before its listing when
    // the look into the folder found something to show.
    bool HasButton() const { return ButtonBeforeListing || !Children.empty(); }
    // Gives the children from First on their positions again.
    void Renumber(size_t First = 0) {
        for (size_t i = First; i < Children.size(); ++i) Children[i]->Row = int(i);
    }

    int Index;
    TShellTreeNode* Parent;
    int Row = 0;
    std::vector<std::unique_ptr<TShellTreeNode>> Children;
    bool ButtonBeforeListing = false;
    // As the view last reported it: an expanded folder shows the open icon.
    bool Expanded = false;
};

}  // namespace qm
