#include "relay_fixture.h"

#include "service/online_caption.h"

#include "support/test_main.h"

#include <QTest>

#include <algorithm>

namespace qm::test {

RelayFixture::RelayFixture() {
    chooseUpstreams({upstreamOf(server1)});
    QObject::connect(
        &engine, &RelayEngine::onlineDisplayRefresh,
        [this](OnlinePrefix prefix, qint16 count) { captions << onlineCaption(prefix, count); });
    QObject::connect(&engine, &RelayEngine::clientAccepted,
                     [this](int slot, const QString&, const Upstream&) { acceptedSlots << slot; });
    QObject::connect(&engine, &RelayEngine::upstreamChosen,
                     [this](const Upstream& server) { chosen << server; });
    QObject::connect(&engine, &RelayEngine::clientRefused,
                     [this](const QString&, const QString& reason) { refusals << reason; });
    QObject::connect(&engine, &RelayEngine::pairEnded,
                     [this](int slot, const QString& address, quint64 a, quint64 b) {
                         ended.append({slot, address, a, b});
                     });
    QObject::connect(&engine, &RelayEngine::forwardingFailed,
                     [this](int slot) { forwardingFailures << slot; });
    engine.setUpstreamChooser([this]() -> std::optional<Upstream> {
        if (m_upstreams.size() > 1)
            return m_upstreams.takeFirst();
        return m_upstreams.value(0);
    });
    QString error;
    if (!engine.listen(0, &error))
        qFatal("cannot listen: %s", qPrintable(error));
}

void RelayFixture::chooseUpstreams(QList<std::optional<Upstream>> upstreams) {
    m_upstreams = std::move(upstreams);
}

std::unique_ptr<QTcpSocket> RelayFixture::connectClient(const QString& from) {
    auto socket = std::make_unique<QTcpSocket>();
    const QHostAddress source(from);
    socket->bind(source, 0);
    socket->connectToHost(source.protocol() == QAbstractSocket::IPv6Protocol
                              ? QHostAddress::LocalHostIPv6
                              : QHostAddress::LocalHost,
                          engine.serverPort());
    if (!QTest::qWaitFor([&] { return socket->state() == QAbstractSocket::ConnectedState; }, 5000))
        return nullptr;
    return socket;
}

std::unique_ptr<QTcpSocket> RelayFixture::acceptedClient(const QString& from) {
    const qsizetype before = acceptedSlots.size();
    auto socket = connectClient(from);
    if (!socket || !QTest::qWaitFor([&] { return acceptedSlots.size() > before; }, 5000))
        return nullptr;
    return socket;
}

QByteArray readExactly(QTcpSocket& socket, qsizetype count) {
    QByteArray bytes;
    (void)QTest::qWaitFor(
        [&] {
            // No more than is there: read(n) allocates n bytes first.
            bytes += socket.read(std::min<qint64>(count - bytes.size(), socket.bytesAvailable()));
            return bytes.size() >= count;
        },
        slowBuildMs(10000));
    return bytes;
}

bool waitForClose(QTcpSocket& socket, int timeoutMs) {
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; },
                           timeoutMs);
}

QByteArray patternBytes(qsizetype count, quint32 seed) {
    QByteArray bytes(count, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

} // namespace qm::test
