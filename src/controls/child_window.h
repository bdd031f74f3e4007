#pragma once

class QRect;
class QWidget;

namespace qm {

// Window sizes and places are given in twips: 15 to the pixel at 96 dpi.
int twipsToPixels(int twips);
int pixelsToTwips(int pixels);
// A widget geometry given in twips, each figure rounded to pixels on its own.
QRect twipsRect(int left, int top, int width, int height);

// Opens child from opener: the opener disables itself, the child is placed at
// the opener's left + 1000 and top + 1000 twips and shown, not modal; closing
// the child enables the opener again and gives it the focus.
void showChildWindow(QWidget* opener, QWidget* child);

} // namespace qm
