#pragma once

#include <QIcon>
#include <QImage>

class QPainter;

namespace qm {

// The program's own picture, drawn by our code: two opposed arrows either side
// of a mirror line on a blue tile. The icon holds 48, 32 and 16 pixel images.
// paintProgramIcon draws it on any device (an image, a vector file) as a
// size x size square from the origin.
void paintProgramIcon(QPainter& painter, int size);
QImage drawProgramImage(int size);
QIcon programIcon();

} // namespace qm
