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

QFont buttonFont() {
    // The stored face is narrower than the stand-in: its condensed cut keeps
    // the captions inside the narrowest buttons' outline.
    QFont font = pixelFont(SansFamily, 11);
    font.setStretch(QFont::Condensed);
    return font;
}

void setPaletteColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace qm
