#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace qm::test {

// A TCP server on a loopback address that plays an upstream server: it echoes
// what it receives (unless told not to), can greet every new connection, and
// can stop and start listening on the same port to play a server going down.
// Short connections that send nothing (the relay's probes) are counted too.
class FakeUpstream : public QObject {
    Q_OBJECT
public:
    explicit FakeUpstream(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0,
                          QObject* parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    bool listen();        // again on the same address and port
    void stopListening(); // open connections stay
    void closeConnections();

    QHostAddress address() const { return m_address; }
    QString host() const { return m_address.toString(); }
    quint16 port() const { return m_port; }

    void setEcho(bool echo) { m_echo = echo; }
    void setGreeting(const QByteArray& greeting) { m_greeting = greeting; }

    int connectionsAccepted() const { return m_accepted; }
    QList<QTcpSocket*> openConnections() const;        // in order of arrival
    QByteArray received() const { return m_received; } // every byte, all connections

signals:
    void connectionAccepted(QTcpSocket* connection);
    void bytesReceived();

private:
    void acceptPending();

    QTcpServer m_server;
    QHostAddress m_address;
    quint16 m_port;
    bool m_echo = true;
    QByteArray m_greeting;
    int m_accepted = 0;
    QByteArray m_received;
    QList<QPointer<QTcpSocket>> m_connections;
};

// An address and port whose connection attempts hang without answer: a
// listener whose accept queue is full, so the kernel drops every further SYN.
class SilentUpstream {
public:
    SilentUpstream();
    ~SilentUpstream();
    SilentUpstream(const SilentUpstream&) = delete;
    SilentUpstream& operator=(const SilentUpstream&) = delete;

    bool isReady() const { return m_port != 0; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    QList<int> m_fillers;
    quint16 m_port = 0;
};

} // namespace qm::test
