#include "foldertree/ShellTreeView.h"

namespace qm {

TShellTreeView::TShellTreeView(QWidget* Parent, std::shared_ptr<TCustomShellController> Controller)
    : TCustomShellTreeView(Parent, std::move(Controller)) {
    setObjectName(QStringLiteral("ShellTreeView"));
}

}  // namespace qm
