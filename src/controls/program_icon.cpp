#include "controls/program_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace qm {

namespace {

// An arrow pointing right, its tip at x = right, centred on y, in a unit box.
QPainterPath arrow(qreal left, qreal right, qreal y, qreal thickness) {
    const qreal head = thickness * 1.6;
    const qreal neck = right - head;
    QPainterPath path;
    path.moveTo(left, y - thickness / 2);
    path.lineTo(neck, y - thickness / 2);
    path.lineTo(neck, y - head);
    path.lineTo(right, y);
    path.lineTo(neck, y + head);
    path.lineTo(neck, y + thickness / 2);
    path.lineTo(left, y + thickness / 2);
    path.closeSubpath();
    return path;
}

} // namespace

QImage drawProgramImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 48.0, size / 48.0); // drawn on a 48-unit grid

    // Tile: deep blue to sky blue with a darker rim.
    QLinearGradient tile(0, 2, 0, 46);
    tile.setColorAt(0, QColor(86, 170, 236));
    tile.setColorAt(1, QColor(24, 82, 158));
    painter.setPen(QPen(QColor(16, 52, 104), size >= 32 ? 2.0 : 3.0));
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2, 2, 44, 44), 9, 9);

    // Gloss over the upper half.
    if (size >= 32) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 60));
        painter.drawRoundedRect(QRectF(5, 5, 38, 17), 6, 6);
    }

    // The mirror line and the two relayed directions.
    painter.setPen(
        QPen(QColor(255, 255, 255, 200), size >= 32 ? 2.0 : 3.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 9), QPointF(24, 39));
    painter.setPen(Qt::NoPen);
    const qreal thickness = size >= 32 ? 4.5 : 6.5;
    painter.setBrush(QColor(255, 214, 92));
    painter.drawPath(arrow(8, 40, 17, thickness));
    painter.setBrush(Qt::white);
    QTransform mirror;
    mirror.translate(48, 0);
    mirror.scale(-1, 1);
    painter.drawPath(mirror.map(arrow(8, 40, 31, thickness)));
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {48, 32, 16})
        icon.addPixmap(QPixmap::fromImage(drawProgramImage(size)));
    return icon;
}

} // namespace qm
