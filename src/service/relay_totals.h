#pragma once

#include "core/upstream.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <unordered_map>

namespace qm {

class RelayController;

// What the relay did since the program started, gathered from the
// controller's pair events: clients accepted, refused by reason, bytes of
// ended pairs, and the server each live pair was given.
class RelayTotals : public QObject {
    Q_OBJECT
public:
    explicit RelayTotals(RelayController& controller, QObject* parent = nullptr);

    quint64 accepted() const { return m_accepted; }
    const QMap<QString, quint64>& refusedByReason() const { return m_refused; }
    quint64 endedBytesFromClients() const { return m_endedFromClients; }
    quint64 endedBytesFromServers() const { return m_endedFromServers; }
    // The server of the live pair in slot, or an empty one.
    Upstream serverOf(int slot) const;

private:
    quint64 m_accepted = 0;
    QMap<QString, quint64> m_refused;
    quint64 m_endedFromClients = 0;
    quint64 m_endedFromServers = 0;
    std::unordered_map<int, Upstream> m_servers;
};

} // namespace qm
