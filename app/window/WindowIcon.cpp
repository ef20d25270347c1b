#include "app/window/WindowIcon.h"

#include <QPainter>
#include <QPen>
#include <QPixmap>

namespace {

// A road seen from above, with a small car on its middle lane, on a 128-unit square.
QPixmap drawn(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 128.0, size / 128.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x3b, 0x4c));
    painter.drawRoundedRect(QRectF(8, 8, 112, 112), 24, 24);
    painter.setBrush(QColor(0x4a, 0x56, 0x68));
    painter.drawRect(QRectF(30, 8, 68, 112));
    QPen dashes(QColor(0xf2, 0xf2, 0xf2), 4);
    dashes.setDashPattern({2.5, 2.5});  // 10 on, 10 off, in pen widths
    dashes.setCapStyle(Qt::FlatCap);
    painter.setPen(dashes);
    painter.drawLine(QLineF(52, 12, 52, 116));
    painter.drawLine(QLineF(76, 12, 76, 116));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0x7a, 0x1a));
    painter.drawRoundedRect(QRectF(54, 46, 20, 36), 7, 7);
    painter.setBrush(QColor(0x1e, 0x26, 0x30));
    painter.drawRoundedRect(QRectF(57, 52, 14, 9), 3, 3);
    painter.drawRoundedRect(QRectF(57, 70, 14, 7), 3, 3);
    painter.setBrush(QColor(0x7f, 0xd3, 0xff));
    painter.drawPolygon(QPolygonF({QPointF(64, 18), QPointF(74, 32), QPointF(54, 32)}));
    return pixmap;
}

}  // namespace

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(drawn(size));
    return QIcon::fromTheme(QStringLiteral("org.zelto.Panel"), icon);
}
