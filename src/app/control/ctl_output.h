#pragma once

#include "service/control/control_protocol.h"

namespace qm {

// What quillet-mirror ctl prints for a reply to command: columns for people,
// or the reply's one JSON value.
QString formatReplyText(const QString& command, const ControlReply& reply);
QString formatReplyJson(const ControlReply& reply);

} // namespace qm
