#pragma once

#include <QString>

namespace qm {

// True when host, as typed in a server box, is this machine itself: "localhost",
// 0.0.0.0, ::, a loopback address or the address of one of its interfaces.
bool namesThisMachine(const QString& host);

} // namespace qm
