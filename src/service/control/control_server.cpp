#include "service/control/control_server.h"

#include "service/control/control_commands.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace qm {

namespace {

bool servesPeer(const QLocalSocket& client) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(static_cast<int>(client.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                     &size) != 0)
        return false;
    return peer.uid == 0 || peer.uid == geteuid();
}

} // namespace

ControlServer::ControlServer(ControlCommands& commands, QObject* parent)
    : ControlServer(commands, Limits{}, parent) {}

ControlServer::ControlServer(ControlCommands& commands, Limits limits, QObject* parent)
    : QObject(parent), m_commands(commands), m_limits(limits), m_server(new QLocalServer(this)) {
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::accept);
}

ControlServer::~ControlServer() {
    if (m_server->isListening())
        m_server->close(); // unlinks the socket file
}

bool ControlServer::listen(const QString& path, QString* error) {
    QLocalServer::removeServer(path);
    if (!m_server->listen(path) || ::chmod(QFile::encodeName(path).constData(), 0600) != 0) {
        if (error)
            *error = QStringLiteral("cannot listen on %1: %2").arg(path, m_server->errorString());
        m_server->close();
        return false;
    }
    m_path = path;
    return true;
}

void ControlServer::accept() {
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        if (m_clients >= m_limits.clients || !servesPeer(*client)) {
            client->abort();
            client->deleteLater();
            continue;
        }
        ++m_clients;
        auto* deadline = new QTimer(client);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, client, &QLocalSocket::abort);
        deadline->start(m_limits.clientTimeMs);
        auto request = std::make_shared<QByteArray>();
        connect(client, &QLocalSocket::readyRead, this,
                [this, client, request] { serve(client, request.get()); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] {
            --m_clients;
            client->deleteLater();
        });
    }
}

void ControlServer::serve(QLocalSocket* client, QByteArray* request) {
    if (client->state() != QLocalSocket::ConnectedState)
        return; // answered: whatever else comes is not read
    request->append(client->read(MaxControlRequestBytes + 1 - request->size()));
    const qsizetype end = request->indexOf('\n');
    if (end < 0 && request->size() <= MaxControlRequestBytes)
        return; // the rest of the line is still on its way
    const std::optional<ControlRequest> decoded =
        end < 0 ? std::nullopt : decodeControlRequest(request->left(end));
    const ControlReply reply =
        decoded ? m_commands.run(*decoded)
                : ControlReply{ControlReply::Declined, QStringLiteral("not a control request"), {}};
    client->write(encodeControlReply(reply));
    client->disconnectFromServer(); // once the reply has left; closing state from here
}

} // namespace qm
