#pragma once

#include <QIcon>
#include <QImage>

namespace qm {

// The program's own picture, drawn by our code: two opposed arrows either side
// of a mirror line on a blue tile. The icon holds 48, 32 and 16 pixel images.
QImage drawProgramImage(int size);
QIcon programIcon();

} // namespace qm
