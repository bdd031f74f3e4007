#pragma once

#include "service/control/control_protocol.h"

#include <functional>

namespace qm {

class BanList;
class RelayController;
class RelayTotals;

// Runs one control request against the running relay. Runs between two
// events of the event loop, so every answer sees the pair table whole.
class ControlCommands {
public:
    // reload is what the front end does on SIGHUP.
    ControlCommands(RelayController& controller, BanList& bans, const RelayTotals& totals,
                    std::function<void()> reload);

    ControlReply run(const ControlRequest& request);

private:
    ControlReply status() const;
    ControlReply online() const;
    ControlReply bans() const;
    ControlReply disconnect(const QString& address);
    ControlReply ban(qint32 number, const QString& address);
    ControlReply unban(qint32 number, const QString& address);

    RelayController& m_controller;
    BanList& m_bans;
    const RelayTotals& m_totals;
    std::function<void()> m_reload;
};

} // namespace qm
