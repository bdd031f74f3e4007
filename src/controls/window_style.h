#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QWidget;

namespace qm {

// Installed with the program's fonts: a plain face for text (with its
// condensed cut for buttons) and a serif one for the program's name.
inline const QString SansFamily = QStringLiteral("DejaVu Sans");
inline const QString SerifFamily = QStringLiteral("DejaVu Serif");

// Fonts sized in pixels: the windows place every control in twips, so text
// must fit those boxes whatever the desktop's font settings say.
QFont pixelFont(const QString& family, int pixelSize, bool bold = false, bool italic = false);

// The caption font stored for every button: an 8.25-point sans, 11 pixels.
QFont buttonFont();

void setPaletteColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour);

} // namespace qm
