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

void paintProgramIcon(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    const bool small = size < 32; // fewer, bolder strokes that stay legible
    const qreal unit = size / 48.0;
    painter.scale(unit, unit);    // drawn on a 48-unit grid
    const qreal rim = 1.0 / unit; // one device pixel

    // Tile: sky blue to deep blue with a darker rim.
    QLinearGradient tile(0, 0, 0, 48);
    tile.setColorAt(0, QColor(86, 170, 236));
    tile.setColorAt(1, QColor(24, 82, 158));
    painter.setPen(QPen(QColor(16, 52, 104), rim));
    painter.setBrush(tile);
    const qreal inset = rim / 2;
    painter.drawRoundedRect(QRectF(inset, inset, 48 - rim, 48 - rim), 9, 9);

    if (!small) {
        // Gloss over the upper half and the mirror line between the arrows.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 60));
        painter.drawRoundedRect(QRectF(4, 4, 40, 18), 6, 6);
        painter.setPen(QPen(QColor(255, 255, 255, 200), 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(24, 8), QPointF(24, 40));
    }

    // The two relayed directions; on the small image they sit on whole pixels.
    painter.setPen(Qt::NoPen);
    const qreal thickness = small ? 6 : 4.5;
    const qreal upper = small ? 15 : 17;
    const qreal lower = small ? 33 : 31;
    painter.setBrush(QColor(255, 214, 92));
    painter.drawPath(arrow(8, 41, upper, thickness));
    painter.setBrush(Qt::white);
    QTransform mirror;
    mirror.translate(48, 0);
    mirror.scale(-1, 1);
    painter.drawPath(mirror.map(arrow(8, 41, lower, thickness)));
}

QImage drawProgramImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintProgramIcon(painter, size);
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {48, 32, 16})
        icon.addPixmap(QPixmap::fromImage(drawProgramImage(size)));
    return icon;
}

} // namespace qm
