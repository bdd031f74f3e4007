#pragma once

#include "controls/message_boxes.h"
#include "core/bans/ban_table.h"
#include "core/clock.h"
#include "service/relay_controller.h"

#include <QString>

namespace qm {

// What every window is built with: the program folder, the one ban table, the
// clock, the message box seam and the relay controller. Tests pass fakes.
struct AppContext {
    QString folder; // holds config.ini and ban.dat
    BanTable* bans = nullptr;
    const Clock* clock = nullptr;
    MessageBoxes* messages = nullptr;
    RelayController* controller = nullptr;
};

} // namespace qm
