#pragma once

#include <QtGlobal>

namespace qm {

// Datagrams passed and dropped since the datagram relay was created.
struct DatagramCounts {
    quint64 toServer = 0;
    quint64 toClient = 0;
    quint64 droppedBanned = 0;        // from a banned client address
    quint64 droppedStranger = 0;      // reached the upstream side from another host than the server
    quint64 droppedUndeliverable = 0; // no destination yet, or the send failed
};

} // namespace qm
