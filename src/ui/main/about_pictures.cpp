#include "ui/main/about_pictures.h"

#include "controls/program_icon.h"
#include "ui/main/picture_painting.h"

#include <QPainter>

namespace qm {

namespace {

// The program's picture drawn at the device's resolution, placed in logical pixels.
QImage programImage(int side, qreal pixelRatio) {
    QImage image = drawProgramImage(qRound(side * pixelRatio));
    image.setDevicePixelRatio(pixelRatio);
    return image;
}

} // namespace

QPixmap drawAboutBackground(QSize size, int headerHeight, qreal pixelRatio) {
    QPixmap pixmap = blankPixmap(size, pixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, size.width(), size.height());

    fillTopToBottom(painter, area, QColor(248, 250, 252), QColor(226, 233, 240));

    // The same dark header as the main window, so the two read as one program.
    fillTopToBottom(painter, QRectF(0, 0, area.width(), headerHeight), QColor(58, 80, 106),
                    QColor(30, 44, 62));
    painter.fillRect(QRectF(0, headerHeight - 2, area.width(), 2), QColor(63, 182, 168));

    const int iconSide = headerHeight - 16;
    const QImage icon = programImage(iconSide, pixelRatio);
    painter.drawImage(QPointF(area.width() - iconSide - 10, 7), icon);

    // A quiet watermark of the icon's arrows in the lower right corner.
    painter.setOpacity(0.05);
    const int markSide = size.height() / 2;
    painter.drawImage(QPointF(area.width() - markSide + markSide / 6, area.height() - markSide),
                      programImage(markSide, pixelRatio));
    return pixmap;
}

} // namespace qm
