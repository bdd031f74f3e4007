#include "relay/ending_rule.h"

namespace qm {

EndingRule ruleFor(Ending how) {
    using E = Ending;
    constexpr auto client = OnlinePrefix::ClientSide;
    constexpr auto server = OnlinePrefix::ServerSide;
    switch (how) {
    case E::ClientClosed:
        return {true, client, false, true, true, true};
    case E::ClientFailed:
        return {true, client, false, false, true, false};
    case E::ServerClosed:
        return {true, server, false, true, true, true};
    case E::ServerFailed:
        return {true, server, false, true, false, false};
    case E::SendToClientFailed:
        return {true, server, true, false, true, false};
    case E::SendToServerFailed:
        return {true, server, true, true, false, false};
    case E::Disconnected:
        return {true, std::nullopt, false, false, false, false};
    case E::Restart:
        return {false, std::nullopt, false, false, false, false};
    case E::BannedMeanwhile:
        return {true, server, false, false, false, false};
    }
    return {};
}

} // namespace qm
