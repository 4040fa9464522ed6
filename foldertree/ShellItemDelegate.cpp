#include "foldertree/ShellItemDelegate.h"

#include <QLineEdit>

namespace qm {

TShellItemDelegate::TShellItemDelegate(QObject* Parent, TIsDropTarget IsDropTarget, TRename Rename)
    : QStyledItemDelegate(Parent),
      FIsDropTarget(std::move(IsDropTarget)),
      FRename(std::move(Rename)) {}

void TShellItemDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                               const QModelIndex& Index) const {
    QStyleOptionViewItem option(Option);
    if (FIsDropTarget && FIsDropTarget(Index)) {
        option.state |= QStyle::State_Selected;
        option.state |= QStyle::State_Active;
    }
    QStyledItemDelegate::paint(Painter, option, Index);
}

void TShellItemDelegate::setModelData(QWidget* Editor, QAbstractItemModel*,
                                      const QModelIndex& Index) const {
    auto* edit = qobject_cast<QLineEdit*>(Editor);
    if (!edit || !FRename) return;
    // The caption changes only through the rename: a refused rename keeps the old caption.
    FRename(Index, edit->text());
}

}  // namespace qm
