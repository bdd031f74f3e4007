#pragma once

namespace qm {

// Raises the soft limit on open descriptors to the hard limit before the
// relay starts, so a busy relay is not refused long before the system would.
// Returns the soft limit in effect afterwards, or -1 when it cannot be read.
long raiseDescriptorLimit();

} // namespace qm
