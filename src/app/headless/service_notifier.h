#pragma once

#include <QByteArray>
#include <QString>

#include <sys/socket.h>
#include <sys/un.h>

namespace qm {

// Tells systemd how the service is (Type=notify): one datagram of
// "NAME=value" lines to the socket named by $NOTIFY_SOCKET. Without that
// variable it does nothing; a send that fails is dropped, never waited for.
class ServiceNotifier {
public:
    ServiceNotifier();
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    bool active() const { return m_fd >= 0; }
    void ready();     // READY=1: listening or waiting, also at the end of a reload
    void reloading(); // RELOADING=1: READY=1 follows once the reload is done
    void status(const QString& line);

private:
    void send(const QByteArray& assignments);

    int m_fd = -1;
    sockaddr_un m_address{};
    socklen_t m_addressLength = 0;
};

} // namespace qm
