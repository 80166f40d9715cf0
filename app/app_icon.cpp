#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace carvel {

namespace {

// packaging/carvel.svg drawn with QPainter (Qt reads no SVG without its SVG module); the two
// must show the same picture.
QPixmap drawnIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x28, 0x30, 0x48));
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);
    p.setBrush(QColor(0xf0, 0xc8, 0x50));
    p.drawEllipse(QPointF(32, 32), 18, 18);
    p.setBrush(QColor(0x28, 0x30, 0x48));
    p.drawEllipse(QPointF(32, 32), 5, 5);
    QPainterPath corner;
    corner.moveTo(44, 12);
    corner.lineTo(52, 12);
    corner.lineTo(52, 20);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x8a, 0xd0, 0xff), 4, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPath(corner);
    p.end();
    return pixmap;
}

}  // namespace

QIcon appIcon() {
    QIcon drawn;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        drawn.addPixmap(drawnIcon(size));
    }
    return drawn;
}

}  // namespace carvel
