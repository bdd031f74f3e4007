#pragma once

#include "service/control/control_protocol.h"

#include <QStringList>

#include <optional>

namespace qm {

// The answer of the relay listening at one of socketPaths (tried in order),
// or nothing with *error saying why no relay answered. A path where nothing
// listens fails at once; a relay that stops answering is given timeoutMs.
std::optional<ControlReply> askRelay(const QStringList& socketPaths, const ControlRequest& request,
                                     int timeoutMs, QString* error);

} // namespace qm
