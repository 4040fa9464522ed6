// A node of the folder tree: it refers to its item by index in the tree's item list and orders
// itself among its siblings by the namespace's sibling order.
#pragma once

#include <QTreeWidgetItem>

namespace qm {

class TShellTreeNode : public QTreeWidgetItem {
  public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;
    static constexpr int kIndexRole = Qt::UserRole + 1;

    explicit TShellTreeNode(int Index) : QTreeWidgetItem(kType) { setData(0, kIndexRole, Index); }
    int Index() const { return data(0, kIndexRole).toInt(); }

    bool operator<(const QTreeWidgetItem& Other) const override;
};

// The item index of any node of the tree, -1 for a node of another kind.
inline int NodeIndex(const QTreeWidgetItem* Node) {
    return Node && Node->type() == TShellTreeNode::kType
               ? static_cast<const TShellTreeNode*>(Node)->Index()
               : -1;
}

}  // namespace qm
