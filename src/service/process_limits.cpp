#include "service/process_limits.h"

#include "relay/fd_limit.h"

namespace qm {

long raiseDescriptorLimit() {
    return raiseFileDescriptorLimit();
}

} // namespace qm
