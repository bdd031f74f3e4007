#pragma once

#include <QPixmap>
#include <QSize>

namespace qm {

// Background of the about window, drawn in code at the screen's pixel ratio.
// headerHeight: the band that carries the title.
QPixmap drawAboutBackground(QSize size, int headerHeight, qreal pixelRatio);

} // namespace qm
