#pragma once

#include "relay/socket_address.h"

#include <QByteArray>

namespace qm {

// The PROXY protocol header that tells a server the client's real address:
// version 1 is the text line "PROXY TCP4|TCP6 client relay cport rport\r\n",
// version 2 the binary form with the PROXY command. relay is the address the
// client connected to. Ends of different families are both given as IPv6.
QByteArray proxyHeader(int version, const SocketAddress& client, const SocketAddress& relay);

} // namespace qm
