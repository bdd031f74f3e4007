#pragma once

#include <QString>

namespace qm {

// One upstream server as the boxes name it: a host name or address text and a port.
struct Upstream {
    QString host;
    quint16 port = 0;
    bool operator==(const Upstream&) const = default;
};

} // namespace qm
