#pragma once

#include "core/online_prefix.h"

#include <QString>

namespace qm {

// The online caption and tray tooltip text: "Онлаин – " after a client-side
// event, "Онлайн – " after an upstream-side one, then the count.
QString onlineCaption(OnlinePrefix prefix, qint16 count);

} // namespace qm
