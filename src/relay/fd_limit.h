#pragma once

namespace qm {

// Raises the soft limit on open descriptors to the hard limit, so a busy relay
// (two descriptors per pair) is not refused long before the system would.
// Returns the soft limit in effect afterwards, or -1 when it cannot be read.
long raiseFileDescriptorLimit();

} // namespace qm
