#pragma once

#include <QString>
#include <QtGlobal>

namespace qm {

// A socket bound to a local port on every address (one dual-stack socket on
// ::, or IPv4 alone where the machine has no IPv6), owned until it is handed on: a TCP
// listener or a datagram socket. A reload binds the new port this way before
// it closes the old one, so that a port it cannot have leaves the relay as it was.
class BoundPort {
public:
    enum class Kind { Listener, Datagram };

    // Every address at port. A listener reuses addresses (a restart must not wait out
    // old connections); a datagram socket is exclusive, so that a port another
    // program holds counts as taken. Check ok().
    static BoundPort open(Kind kind, quint16 port);

    BoundPort() = default;
    BoundPort(BoundPort&& other) noexcept;
    BoundPort& operator=(BoundPort&& other) noexcept;
    BoundPort(const BoundPort&) = delete;
    BoundPort& operator=(const BoundPort&) = delete;
    ~BoundPort();

    bool ok() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }           // as asked for
    int errorNumber() const { return m_errorNumber; } // when not ok()
    bool ipv4Only() const { return m_ipv4Only; }      // the machine has no IPv6
    // Hands the descriptor on; this object then owns nothing.
    int release();

private:
    int m_fd = -1;
    quint16 m_port = 0;
    int m_errorNumber = 0;
    bool m_ipv4Only = false;
};

// Why a port could not be bound, as the rest of a sentence that starts with
// the port: "is in use", "may not be used: permission denied (...)", ...
QString portRefusalText(int errorNumber);
// A port this process may never use, however often it tries (below 1024
// without the capability): retrying is pointless.
bool portForbidden(int errorNumber);

} // namespace qm
