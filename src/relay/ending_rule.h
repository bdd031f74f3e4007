#pragma once

#include "core/online_prefix.h"

#include <optional>

namespace qm {

enum class Ending {
    ClientClosed,
    ClientFailed,
    ServerClosed,
    ServerFailed, // also an upstream that cannot be reached in time
    SendToClientFailed,
    SendToServerFailed,
    Disconnected,
    Restart,
    BannedMeanwhile, // banned while its upstream connection was being made
};

// What an ending does besides freeing the slot.
struct EndingRule {
    bool lowersCount;
    std::optional<OnlinePrefix> prefix;
    bool forwardingFailed;
    bool deliverToClient; // else the client side is closed at once
    bool deliverToServer;
    bool halfClose; // the other side may go on sending (half_close.cpp)
};

EndingRule ruleFor(Ending how);

} // namespace qm
