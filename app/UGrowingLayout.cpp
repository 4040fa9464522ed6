#include "app/UGrowingLayout.h"

#include <QWidget>
#include <algorithm>
#include <cmath>

namespace qm {

void TGrowingLayout::Add(QWidget* Control, TShares Shares) {
    FControls.push_back({Control, Control->geometry(), Shares});
}

void TGrowingLayout::Apply(QSize Size) const {
    const int extraWidth = std::max(0, Size.width() - FDesignSize.width());
    const int extraHeight = std::max(0, Size.height() - FDesignSize.height());
    // Edges that share a line in the design (a control's right edge and its neighbour's left
    // edge, given the same share) round the same way and stay together.
    auto moved = [](int Edge, double Share, int Extra) {
        return Edge + static_cast<int>(std::floor(Share * Extra));
    };
    for (const TControl& c : FControls) {
        const QRect& d = c.Designed;
        const int left = moved(d.left(), c.Shares.Left, extraWidth);
        const int top = moved(d.top(), c.Shares.Top, extraHeight);
        const int right = moved(d.left() + d.width(), c.Shares.Right, extraWidth);
        const int bottom = moved(d.top() + d.height(), c.Shares.Bottom, extraHeight);
        c.Control->setGeometry(left, top, right - left, bottom - top);
    }
}

}  // namespace qm
