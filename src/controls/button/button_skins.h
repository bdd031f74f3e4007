#pragma once

#include "controls/button/button_face.h"

#include <QImage>

namespace qm {

// The three picture strips of the animated button, drawn once by our own code:
// 90 x 21 pixels, five 18 x 21 cells side by side. Pc holds the static faces
// (normal, pressed, disabled, hot, highlighted), Moves blends normal into hot
// and Downs pressed into hot.
constexpr int SkinCellWidth = 18;
constexpr int SkinCellHeight = 21;
constexpr int SkinCellCount = 5;

const QImage& buttonStrip(Strip strip);
QImage buttonCell(Strip strip, int cell);

} // namespace qm
