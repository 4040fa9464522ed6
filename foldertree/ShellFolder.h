// The item a node of the folder tree holds, with what the tree knows about the node.
#pragma once

#include "foldertree/ShellItem.h"

class QTreeWidgetItem;

namespace qm {

enum TFillState { fsNotFilled, fsFilling, fsFilled };

class TShellFolder : public TShellItem {
  public:
    explicit TShellFolder(TShellItem Item) : TShellItem(std::move(Item)) {}

    TFillState FillState() const { return FFillState; }
    void SetFillState(TFillState State) { FFillState = State; }
    // The tree node that shows this item (owned by the tree widget).
    QTreeWidgetItem* Node() const { return FNode; }
    void SetNode(QTreeWidgetItem* Node) { FNode = Node; }
    // Takes the attributes of a fresh reading of the same item, keeping the tree's state.
    void Refresh(const TShellItem& Fresh) { static_cast<TShellItem&>(*this) = Fresh; }

  private:
    TFillState FFillState = fsNotFilled;
    QTreeWidgetItem* FNode = nullptr;
};

}  // namespace qm
