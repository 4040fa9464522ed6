// Keeps a form's controls where they were designed while the form grows beyond its designed
// size: each edge of a control follows the growth by the share it was given, so that the
// controls meant to take the room take it and the others keep their distance to the edges.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace qm {

class TGrowingLayout {
  public:
    // How far each edge of a control moves, as a share of the form's growth (0 stays, 1 moves
    // with the form's right or bottom edge).
    struct TShares {
        double Left = 0;
        double Top = 0;
        double Right = 0;
        double Bottom = 0;
    };

    explicit TGrowingLayout(QSize DesignSize) : FDesignSize(DesignSize) {}

    // Control's geometry now is its designed one.
    void Add(QWidget* Control, TShares Shares);
    // Places every control for a form of Size (never smaller than designed).
    void Apply(QSize Size) const;

  private:
    struct TControl {
        QWidget* Control;
        QRect Designed;
        TShares Shares;
    };
    QSize FDesignSize;
    std::vector<TControl> FControls;
};

}  // namespace qm
