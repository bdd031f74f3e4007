#pragma once

#include "controls/message_boxes.h"
#include "core/clock.h"
#include "service/ban_list.h"
#include "service/relay_controller.h"

namespace qm {

// What every window is built with: the one ban list, the clock, the message
// box seam and the relay controller. Tests pass fakes.
struct AppContext {
    BanList* bans = nullptr;
    const Clock* clock = nullptr;
    MessageBoxes* messages = nullptr;
    RelayController* controller = nullptr;
};

} // namespace qm
