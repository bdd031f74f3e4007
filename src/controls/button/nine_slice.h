#pragma once

class QImage;
class QPainter;
class QRect;

namespace qm {

// Paints an 18 x 21 button cell over target: the 3-pixel corners keep their
// size, the edges stretch along their length and the centre both ways, so
// the rounded border stays crisp at any button size.
void drawNineSlice(QPainter& painter, const QImage& cell, const QRect& target);

} // namespace qm
