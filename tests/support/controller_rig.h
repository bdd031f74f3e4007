#pragma once

#include "service/ban_list.h"
#include "service/relay_controller.h"
#include "support/fake_upstream.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace qm::test {

// A port free for TCP and UDP on every IPv4 address at the time of asking.
inline quint16 freePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTcpServer tcp;
        if (!tcp.listen(QHostAddress::AnyIPv4, 0))
            continue;
        QUdpSocket udp;
        if (udp.bind(QHostAddress::AnyIPv4, tcp.serverPort(), QAbstractSocket::DontShareAddress))
            return tcp.serverPort();
    }
    return 0;
}

inline SettingBoxes boxesFor(quint16 clientPort, const QString& host1, quint16 port1,
                             const QString& host2, quint16 port2) {
    SettingBoxes boxes;
    boxes.clientPort = QString::number(clientPort);
    boxes.serverHost = host1;
    boxes.serverPort = QString::number(port1);
    boxes.server2Host = host2;
    boxes.server2Port = QString::number(port2);
    return boxes;
}

// A relay controller writing its config.ini into a temporary folder, with short
// probe times and its own datagram port, recording the messages it raises.
class ControllerRig {
public:
    explicit ControllerRig(int probeTimeoutMs = 1000, int probeIntervalMs = 100) {
        RelayController::Options options;
        options.configPath = dir.filePath(QStringLiteral("config.ini"));
        options.probeTimeoutMs = probeTimeoutMs;
        options.probeIntervalMs = probeIntervalMs;
        options.datagramUpstreamPort = freePort();
        datagramUpstreamPort = options.datagramUpstreamPort;
        controller = std::make_unique<RelayController>(bans.table(), clock, options);
        QObject::connect(controller.get(), &RelayController::messageRaised,
                         [this](const UserMessage& message) { messages.append(message); });
    }

    QString configPath() const { return dir.filePath(QStringLiteral("config.ini")); }

    // Starts through the apply button and waits for the start to end.
    bool apply(const SettingBoxes& boxes, int timeoutMs = 5000) {
        QSignalSpy finished(controller.get(), &RelayController::startFinished);
        controller->apply(boxes);
        if (finished.isEmpty() && !finished.wait(timeoutMs))
            return false;
        return finished.constLast().at(0).toBool();
    }

    QStringList messageTexts() const {
        QStringList texts;
        for (const UserMessage& message : messages)
            texts.append(message.text);
        return texts;
    }

    QTemporaryDir dir;
    BanList bans{dir.filePath(QStringLiteral("ban.dat"))};
    SystemClock clock;
    quint16 datagramUpstreamPort = 0;
    std::unique_ptr<RelayController> controller;
    QList<UserMessage> messages;
};

// A client of the relay: connects from a chosen loopback address and echoes
// through whichever fake server the relay picked.
inline std::unique_ptr<QTcpSocket>
connectClient(quint16 port, const QHostAddress& from = QHostAddress::LocalHost) {
    auto client = std::make_unique<QTcpSocket>();
    client->bind(from, 0);
    client->connectToHost(QHostAddress::LocalHost, port);
    return client;
}

// Sends bytes and waits, on the event loop, until as many come back.
inline bool roundTrip(QTcpSocket& client, const QByteArray& bytes, int timeoutMs = 5000) {
    QSignalSpy arrived(&client, &QTcpSocket::readyRead);
    client.write(bytes);
    QByteArray echoed;
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        echoed += client.readAll();
        if (echoed.size() >= bytes.size() || deadline.hasExpired())
            break;
        arrived.wait(static_cast<int>(deadline.remainingTime()));
    }
    return echoed == bytes;
}

} // namespace qm::test
