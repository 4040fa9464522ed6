#include "foldertree/ShellItemDelegate.h"

#include <QLineEdit>

#include "foldertree/CustomShellTreeView.h"

namespace qm {

TShellItemDelegate::TShellItemDelegate(TCustomShellTreeView* View)
    : QStyledItemDelegate(View), FView(View) {}

void TShellItemDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                               const QModelIndex& Index) const {
    QStyleOptionViewItem option(Option);
    if (FView->IsDropTarget(Index)) {
        option.state |= QStyle::State_Selected;
        option.state |= QStyle::State_Active;
    }
    QStyledItemDelegate::paint(Painter, option, Index);
}

void TShellItemDelegate::setModelData(QWidget* Editor, QAbstractItemModel*,
                                      const QModelIndex& Index) const {
    auto* edit = qobject_cast<QLineEdit*>(Editor);
    if (!edit) return;
    // The caption changes only through the rename: a refused rename keeps the old caption.
    FView->RenameNode(FView->NodeAt(Index), edit->text());
}

}  // namespace qm
