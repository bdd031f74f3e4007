#pragma once

#include <QIcon>

namespace qm {

// The 16 x 16 picture on every row of the online list: a small screen with a
// green light, drawn here rather than loaded.
QIcon onlineRowIcon();

} // namespace qm
