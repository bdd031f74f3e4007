#include "ui/main/picture_painting.h"

#include <QLinearGradient>
#include <QPainter>

namespace qm {

QPixmap blankPixmap(QSize size, qreal pixelRatio) {
    QPixmap pixmap(size * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void fillTopToBottom(QPainter& painter, const QRectF& rect, const QColor& top,
                     const QColor& bottom) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, bottom);
    painter.fillRect(rect, gradient);
}

} // namespace qm
