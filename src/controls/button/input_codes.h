#pragma once

#include <Qt>

namespace qm {

// Button and key arguments of the control events, in the numbering containers
// know: buttons left 1, right 2, middle 4; Shift 1, Ctrl 2, Alt 4; key codes
// of the classic virtual-key table (Enter 13, Escape 27, letters 65-90).
int mouseButtonCode(Qt::MouseButtons buttons);
int shiftCode(Qt::KeyboardModifiers modifiers);
int virtualKeyCode(int qtKey);

} // namespace qm
