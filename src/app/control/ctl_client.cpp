#include "app/control/ctl_client.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

namespace qm {

namespace {

// Reads one reply line within the deadline; nothing when it does not come whole.
std::optional<ControlReply> readReply(QLocalSocket& socket, const QDeadlineTimer& deadline) {
    QByteArray received;
    while (!received.contains('\n')) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        received += socket.readAll();
    }
    received += socket.readAll();
    return decodeControlReply(received.left(received.indexOf('\n')));
}

} // namespace

std::optional<ControlReply> askRelay(const QStringList& socketPaths, const ControlRequest& request,
                                     int timeoutMs, QString* error) {
    QString denied;
    for (const QString& path : socketPaths) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(timeoutMs)) {
            if (socket.error() == QLocalSocket::SocketAccessError)
                denied = path;
            continue;
        }
        const QDeadlineTimer deadline(timeoutMs);
        socket.write(encodeControlRequest(request));
        std::optional<ControlReply> reply = readReply(socket, deadline);
        if (!reply)
            *error = QStringLiteral("the relay at %1 gave no answer").arg(path);
        return reply;
    }
    *error = QStringLiteral("no running relay uses this settings folder");
    if (!denied.isEmpty())
        *error += QStringLiteral(" that this user may reach (%1 is closed: a service's relay "
                                 "answers root)")
                      .arg(denied);
    return std::nullopt;
}

} // namespace qm
