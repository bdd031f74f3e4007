#include "controls/button/nine_slice.h"

#include <QImage>
#include <QPainter>
#include <QRect>

namespace qm {

void drawNineSlice(QPainter& painter, const QImage& cell, const QRect& target) {
    constexpr int b = 3; // border width of the cell
    const int cw = cell.width();
    const int ch = cell.height();
    const int w = target.width();
    const int h = target.height();
    const int x = target.x();
    const int y = target.y();
    struct Piece {
        QRect destination;
        QRect source;
    };
    const Piece pieces[] = {
        {{x, y, b, b}, {0, 0, b, b}},
        {{x + w - b, y, b, b}, {cw - b, 0, b, b}},
        {{x + w - b, y + h - b, b, b}, {cw - b, ch - b, b, b}},
        {{x, y + h - b, b, b}, {0, ch - b, b, b}},
        {{x + b, y, w - 2 * b, b}, {b, 0, cw - 2 * b, b}},
        {{x + w - b, y + b, b, h - 2 * b}, {cw - b, b, b, ch - 2 * b}},
        {{x, y + b, b, h - 2 * b}, {0, b, b, ch - 2 * b}},
        {{x + b, y + h - b, w - 2 * b, b}, {b, ch - b, cw - 2 * b, b}},
        {{x + b, y + b, w - 2 * b, h - 2 * b}, {b, b, cw - 2 * b, ch - 2 * b}},
    };
    // Nearest-pixel stretching keeps the outline sharp; the gradient steps are
    // too small to show as bands.
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const Piece& piece : pieces) {
        if (piece.destination.width() > 0 && piece.destination.height() > 0)
            painter.drawImage(piece.destination, cell, piece.source);
    }
    painter.restore();
}

} // namespace qm
