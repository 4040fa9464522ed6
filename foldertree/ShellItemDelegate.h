// Draws the tree's nodes (with the drop target of a drag marked) and turns a finished caption
// edit into a rename of the item instead of a mere change of the caption. What it needs of the
// tree it is given as two functions, so that it knows no view.
#pragma once

#include <QStyledItemDelegate>

#include <functional>

namespace qm {

class TShellItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    // Whether Index is the node marked as the target of a drag.
    using TIsDropTarget = std::function<bool(const QModelIndex& Index)>;
    // Renames the node's item; a refused rename keeps the old caption.
    using TRename = std::function<void(const QModelIndex& Index, const QString& NewName)>;

    TShellItemDelegate(QObject* Parent, TIsDropTarget IsDropTarget, TRename Rename);

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
    void setModelData(QWidget* Editor, QAbstractItemModel* Model,
                      const QModelIndex& Index) const override;

  private:
    TIsDropTarget FIsDropTarget;
    TRename FRename;
};

}  // namespace qm
