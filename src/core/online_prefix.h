#pragma once

namespace qm {

// Which side's event last changed the count: a client-side ending or an
// acceptance, or an upstream-side ending, a forwarding failure or a (re)start.
// The online caption spells its prefix differently for the two.
enum class OnlinePrefix { ClientSide, ServerSide };

} // namespace qm
