#pragma once

namespace qm {

// Options every side of a pair gets, client and upstream alike: small
// messages leave at once instead of waiting for the peer's delayed ACK.
void setPairSocketOptions(int fd);

} // namespace qm
