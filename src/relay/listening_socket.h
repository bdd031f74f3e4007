#pragma once

#include <QtGlobal>

namespace qm {

// A non-blocking listening socket on every address at port: one dual-stack
// socket on :: where the machine has IPv6, else IPv4 alone (*ipv4Only set).
// -1 with errno set when the port cannot be bound.
int openListeningSocket(quint16 port, bool* ipv4Only);

} // namespace qm
