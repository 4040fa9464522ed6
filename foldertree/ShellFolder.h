// The item a node of the folder tree holds, with what the tree knows about the node.
#pragma once

#include "foldertree/ShellItem.h"

namespace qm {

struct TShellTreeNode;

enum TFillState { fsNotFilled, fsFilling, fsFilled };

class TShellFolder : public TShellItem {
  public:
    explicit TShellFolder(TShellItem Item) : TShellItem(std::move(Item)) {}

    TFillState FillState() const { return FFillState; }
    void SetFillState(TFillState State) { FFillState = State; }
    // The tree node that shows this item (owned by the tree model).
    TShellTreeNode* Node() const { return FNode; }
    void SetNode(TShellTreeNode* Node) { FNode = Node; }
    // Takes the attributes of a fresh reading of the same item, keeping the tree's state.
    void Refresh(const TShellItem& Fresh) { static_cast<TShellItem&>(*this) = Fresh; }

  private:
    TFillState FFillState = fsNotFilled;
    TShellTreeNode* FNode = nullptr;
};

}  // namespace qm
