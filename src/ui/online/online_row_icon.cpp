#include "ui/online/online_row_icon.h"

#include <QPainter>
#include <QPixmap>

namespace qm {

QIcon onlineRowIcon() {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    // Screen with its stand.
    painter.setPen(QColor(60, 70, 90));
    painter.setBrush(QColor(120, 170, 230));
    painter.drawRoundedRect(QRectF(0.5, 1.5, 12, 9), 1.5, 1.5);
    painter.setBrush(QColor(60, 70, 90));
    painter.drawRect(QRectF(5, 10.5, 3, 2));
    painter.drawRect(QRectF(3, 12.5, 7, 1));

    // The light that says the client is online.
    painter.setPen(QColor(20, 110, 30));
    painter.setBrush(QColor(70, 200, 80));
    painter.drawEllipse(QRectF(9.5, 9.5, 6, 6));
    painter.end();
    return QIcon(picture);
}

} // namespace qm
