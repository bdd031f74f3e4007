#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace qm {

class ControlCommands;

// Serves control commands on a Unix-domain socket of mode 0600: one request
// line, one reply line, then the connection ends. Only this user and root are
// served. Nothing here waits on a client: each one is read and written as
// its bytes come and go, within a bounded size and time, and dropped when it
// oversteps them.
class ControlServer : public QObject {
    Q_OBJECT
public:
    struct Limits {
        int clients = 32;        // at once; further connections are closed at once
        int clientTimeMs = 5000; // from connecting to the reply taken
    };

    explicit ControlServer(ControlCommands& commands, QObject* parent = nullptr);
    ControlServer(ControlCommands& commands, Limits limits, QObject* parent = nullptr);
    ~ControlServer() override; // removes the socket

    // Listens at path, replacing a socket left there by an unclean end: the
    // caller holds the lock that makes this instance the folder's only one.
    bool listen(const QString& path, QString* error = nullptr);
    QString path() const { return m_path; }
    int clientCount() const { return m_clients; }

private:
    void accept();
    void serve(QLocalSocket* client, QByteArray* request);

    ControlCommands& m_commands;
    Limits m_limits;
    QLocalServer* m_server;
    QString m_path;
    int m_clients = 0;
};

} // namespace qm
