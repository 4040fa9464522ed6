// Draws the tree's nodes (with the drop target marked during a drag) and turns a finished
// caption edit into a rename of the item instead of a mere change of the caption.
#pragma once

#include <QStyledItemDelegate>

namespace qm {

class TCustomShellTreeView;

class TShellItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    explicit TShellItemDelegate(TCustomShellTreeView* View);

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
    void setModelData(QWidget* Editor, QAbstractItemModel* Model,
                      const QModelIndex& Index) const override;

  private:
    TCustomShellTreeView* FView;
};

}  // namespace qm
