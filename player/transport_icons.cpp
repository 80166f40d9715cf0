#include "player/transport_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace carvel {

namespace {

QPainterPath triangle(double x, double y, double w, double h, bool right) {
    QPainterPath path;
    if (right) {
        path.moveTo(x, y);
        path.lineTo(x + w, y + h / 2);
        path.lineTo(x, y + h);
    } else {
        path.moveTo(x + w, y);
        path.lineTo(x, y + h / 2);
        path.lineTo(x + w, y + h);
    }
    path.closeSubpath();
    return path;
}

}  // namespace

QIcon transportIcon(TransportIcon which, int size, const QColor& color) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const double s = size;
    const double m = s * 0.2;  // margin
    const double h = s - 2 * m;
    switch (which) {
        case TransportIcon::Play:
            p.drawPath(triangle(m + h * 0.1, m, h * 0.85, h, true));
            break;
        case TransportIcon::Stop:
            p.drawRect(QRectF(m + h * 0.05, m + h * 0.05, h * 0.9, h * 0.9));
            break;
        case TransportIcon::FF:
            p.drawPath(triangle(m, m, h / 2, h, true));
            p.drawPath(triangle(m + h / 2, m, h / 2, h, true));
            break;
        case TransportIcon::Rev:
            p.drawPath(triangle(m, m, h / 2, h, false));
            p.drawPath(triangle(m + h / 2, m, h / 2, h, false));
            break;
        case TransportIcon::Next:
            p.drawPath(triangle(m, m, h * 0.7, h, true));
            p.drawRect(QRectF(m + h * 0.78, m, h * 0.17, h));
            break;
        case TransportIcon::Back:
            p.drawRect(QRectF(m + h * 0.05, m, h * 0.17, h));
            p.drawPath(triangle(m + h * 0.3, m, h * 0.7, h, false));
            break;
    }
    p.end();
    return QIcon(pixmap);
}

}  // namespace carvel
