#pragma once

#include <QtGlobal>

namespace qm {

// True when the connected socket fd has reached this machine's own listener on
// listenPort: its peer has that port and is on loopback, or is the socket's own
// local address, which the kernel picks as the source only for an address of
// this machine. A relay whose upstream is itself would feed on its own
// connections.
bool reachesOwnListener(int fd, quint16 listenPort);

} // namespace qm
