#pragma once

#include <QDateTime>
#include <QString>

namespace qm {

// What the online list shows of one live pair.
struct PairSnapshot {
    int slot = 0;
    QString clientAddress;       // dotted IPv4 or canonical IPv6 text
    QDateTime acceptedAt;        // local time of acceptance
    quint64 bytesFromClient = 0; // counter A
    quint64 bytesFromServer = 0; // counter B
};

} // namespace qm
