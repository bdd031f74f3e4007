#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QSize>

class QPainter;

namespace qm {

// A transparent pixmap of the given logical size at the device's pixel ratio.
QPixmap blankPixmap(QSize size, qreal pixelRatio);

// Fills the rectangle with a gradient from the top colour down to the bottom one.
void fillTopToBottom(QPainter& painter, const QRectF& rect, const QColor& top,
                     const QColor& bottom);

} // namespace qm
