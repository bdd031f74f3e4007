#pragma once

#include "service/control/control_commands.h"
#include "service/control/control_server.h"
#include "service/relay_totals.h"

#include <QObject>

#include <functional>

namespace qm {

// The control commands of one running relay: the totals they report (counted
// from its construction), the commands, and the socket they come in on.
class ControlChannel : public QObject {
    Q_OBJECT
public:
    ControlChannel(RelayController& controller, BanList& bans, std::function<void()> reload,
                   QObject* parent = nullptr);

    // Listens on the socket of settingsFolder in this user's runtime folder.
    bool open(const QString& settingsFolder, QString* error = nullptr);
    QString socketPath() const { return m_server.path(); }

private:
    RelayTotals m_totals;
    ControlCommands m_commands;
    ControlServer m_server;
};

} // namespace qm
