#include "foldertree/ShellTreeNode.h"

#include "foldertree/CustomShellTreeView.h"

namespace qm {

bool TShellTreeNode::operator<(const QTreeWidgetItem& Other) const {
    auto* view = qobject_cast<TCustomShellTreeView*>(treeWidget());
    if (!view) return QTreeWidgetItem::operator<(Other);
    return view->CompareNodes(this, &Other) < 0;
}

}  // namespace qm
