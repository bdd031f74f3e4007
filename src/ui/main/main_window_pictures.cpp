#include "ui/main/main_window_pictures.h"

#include "ui/main/picture_painting.h"

#include <QLinearGradient>
#include <QPainter>

namespace qm {

namespace {

const QColor Accent(63, 182, 168);

// Two facing arcs: a signal and its reflection, the program's motif.
void paintMirrorMotif(QPainter& painter, QPointF centre, qreal radius, const QColor& colour,
                      qreal penWidth) {
    painter.setPen(QPen(colour, penWidth, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    for (int ring = 1; ring <= 3; ++ring) {
        const qreal r = radius * ring / 3.0;
        const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        painter.drawArc(box.translated(-radius * 0.18, 0), 120 * 16, 120 * 16);
        painter.drawArc(box.translated(radius * 0.18, 0), -60 * 16, 120 * 16);
    }
}

} // namespace

QPixmap drawMainBackground(QSize size, qreal pixelRatio) {
    QPixmap pixmap = blankPixmap(size, pixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, size.width(), size.height());

    fillTopToBottom(painter, area, QColor(38, 54, 74), QColor(16, 23, 32));

    // Header band behind the title with a soft gloss.
    const qreal headerHeight = size.height() * 0.21;
    fillTopToBottom(painter, QRectF(0, 0, area.width(), headerHeight), QColor(58, 80, 106),
                    QColor(34, 49, 68));
    painter.fillRect(QRectF(0, 0, area.width(), 1), QColor(255, 255, 255, 40));

    QLinearGradient rule(0, 0, area.width(), 0);
    rule.setColorAt(0.0, QColor(Accent.red(), Accent.green(), Accent.blue(), 0));
    rule.setColorAt(0.15, Accent);
    rule.setColorAt(0.85, Accent);
    rule.setColorAt(1.0, QColor(Accent.red(), Accent.green(), Accent.blue(), 0));
    painter.fillRect(QRectF(0, headerHeight - 1, area.width(), 1.5), rule);

    // Faint motif in the lower right, behind the fields.
    paintMirrorMotif(painter, QPointF(area.width() * 0.80, area.height() * 0.62),
                     area.height() * 0.42, QColor(255, 255, 255, 14), 3);

    // Panel behind the setting rows and a rule above the buttons.
    const QRectF panel(5, headerHeight + 4, area.width() - 10, area.height() * 0.40);
    painter.setPen(QPen(QColor(255, 255, 255, 22), 1));
    painter.setBrush(QColor(255, 255, 255, 10));
    painter.drawRoundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    const qreal buttonRule = area.height() * 0.80;
    painter.fillRect(QRectF(10, buttonRule, area.width() - 20, 1), QColor(255, 255, 255, 26));

    // A two-tone edge so the frameless window stands off any desktop.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(8, 12, 18), 1));
    painter.drawRect(area.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(QPen(QColor(96, 122, 152, 150), 1));
    painter.drawRect(area.adjusted(1.5, 1.5, -1.5, -1.5));
    return pixmap;
}

QPixmap drawTitlePicture(TitleGlyph glyph, TitleLook look, QSize size, qreal pixelRatio) {
    QPixmap pixmap = blankPixmap(size, pixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool pressed = look == TitleLook::Pressed;
    const QRectF box = QRectF(0, 0, size.width(), size.height()).adjusted(0.5, 0.5, -0.5, -0.5);

    QLinearGradient face(box.topLeft(), box.bottomLeft());
    if (glyph == TitleGlyph::Close && pressed) {
        face.setColorAt(0.0, QColor(104, 22, 40));
        face.setColorAt(1.0, QColor(150, 32, 56));
    } else if (pressed) {
        face.setColorAt(0.0, QColor(22, 32, 46));
        face.setColorAt(1.0, QColor(40, 58, 80));
    } else {
        face.setColorAt(0.0, QColor(74, 100, 130));
        face.setColorAt(1.0, QColor(42, 60, 84));
    }
    painter.setBrush(face);
    painter.setPen(QPen(pressed ? QColor(12, 18, 26) : QColor(120, 150, 182), 1));
    const qreal radius = size.width() * 0.22;
    painter.drawRoundedRect(box, radius, radius);

    // The glyph sinks by a pixel when pressed.
    const qreal shift = pressed ? 1.0 : 0.0;
    const qreal w = size.width();
    const qreal h = size.height();
    painter.setPen(
        QPen(pressed ? QColor(215, 222, 230) : Qt::white, w * 0.12, Qt::SolidLine, Qt::RoundCap));
    if (glyph == TitleGlyph::Minimise) {
        painter.drawLine(QPointF(w * 0.30, h * 0.68 + shift), QPointF(w * 0.70, h * 0.68 + shift));
    } else {
        painter.drawLine(QPointF(w * 0.32, h * 0.32 + shift), QPointF(w * 0.68, h * 0.68 + shift));
        painter.drawLine(QPointF(w * 0.68, h * 0.32 + shift), QPointF(w * 0.32, h * 0.68 + shift));
    }
    return pixmap;
}

} // namespace qm
