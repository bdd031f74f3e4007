#pragma once

#include <QPixmap>
#include <QSize>

namespace qm {

// The main window's artwork, drawn in code at the screen's pixel ratio so it
// stays crisp when the desktop is scaled.
enum class TitleGlyph { Minimise, Close };
enum class TitleLook { Released, Pressed };

QPixmap drawMainBackground(QSize size, qreal pixelRatio);
QPixmap drawTitlePicture(TitleGlyph glyph, TitleLook look, QSize size, qreal pixelRatio);

} // namespace qm
