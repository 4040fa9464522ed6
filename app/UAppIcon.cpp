#include "app/UAppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace qm {

QImage PaintAppIcon(int Size) {
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64-unit grid, the same one the SVG uses.
    p.scale(Size / 64.0, Size / 64.0);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2f, 0x6d, 0xb5));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    QPainterPath page;
    page.moveTo(16, 10);
    page.lineTo(40, 10);
    page.lineTo(50, 20);
    page.lineTo(50, 54);
    page.lineTo(16, 54);
    page.closeSubpath();
    p.setBrush(QColor(0xfb, 0xfb, 0xf8));
    p.drawPath(page);

    QPainterPath fold;
    fold.moveTo(40, 10);
    fold.lineTo(40, 20);
    fold.lineTo(50, 20);
    fold.closeSubpath();
    p.setBrush(QColor(0xc9, 0xd6, 0xe8));
    p.drawPath(fold);

    // The zipper: alternating teeth down the page, and its pull.
    p.setBrush(QColor(0x44, 0x44, 0x4c));
    for (int i = 0; i < 7; ++i) p.drawRect(QRectF(i % 2 ? 31 : 29, 12 + 4 * i, 4, 2));
    p.drawRoundedRect(QRectF(27, 40, 10, 10), 2, 2);
    p.setBrush(QColor(0xfb, 0xfb, 0xf8));
    p.drawRect(QRectF(30, 44, 4, 3));
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(PaintAppIcon(size)));
    return icon;
}

}  // namespace qm
