#include "controls/window_style.h"

#include <QWidget>

namespace qm {

QFont pixelFont(const QString& family, int pixelSize, bool bold, bool italic) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void setPaletteColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace qm
