#include "service/relay_totals.h"

#include "service/relay_controller.h"

namespace qm {

RelayTotals::RelayTotals(RelayController& controller, QObject* parent) : QObject(parent) {
    connect(&controller, &RelayController::clientAccepted, this,
            [this](int slot, const QString&, const Upstream& server) {
                ++m_accepted;
                m_servers[slot] = server;
            });
    connect(&controller, &RelayController::clientRefused, this,
            [this](const QString&, const QString& reason) { ++m_refused[reason]; });
    connect(&controller, &RelayController::pairEnded, this,
            [this](int slot, const QString&, quint64 fromClient, quint64 fromServer, qint64) {
                m_endedFromClients += fromClient;
                m_endedFromServers += fromServer;
                m_servers.erase(slot);
            });
}

Upstream RelayTotals::serverOf(int slot) const {
    const auto found = m_servers.find(slot);
    return found == m_servers.end() ? Upstream{} : found->second;
}

} // namespace qm
