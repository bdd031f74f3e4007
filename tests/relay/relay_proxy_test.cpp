// The PROXY protocol header in front of each pair's upstream stream, checked
// byte for byte against the published formats of versions 1 and 2.
#include "relay_fixture.h"

#include "support/ipv6_loopback.h"
#include "support/test_main.h"

using namespace qm;
using namespace qm::test;

namespace {

QByteArray bigEndian16(quint16 value) {
    return QByteArray(1, char(value >> 8)) + QByteArray(1, char(value & 0xFF));
}

// What the server got once the client's bytes have followed the header.
QByteArray receivedWith(RelayFixture& f, QTcpSocket& client, const QByteArray& bytes) {
    client.write(bytes);
    (void)QTest::qWaitFor([&] { return f.server1.received().endsWith(bytes); }, 5000);
    return f.server1.received();
}

} // namespace

class RelayProxyTest : public QObject {
    Q_OBJECT
private slots:
    void noHeaderByDefault() {
        RelayFixture f;
        auto client = f.acceptedClient();
        QVERIFY(client);
        QCOMPARE(receivedWith(f, *client, "plain"), QByteArray("plain"));
    }

    void versionOneIsATextLineBeforeTheClientsBytesAndNotCounted() {
        RelayFixture f;
        f.engine.setProxyProtocol(1);
        auto client = f.acceptedClient(QStringLiteral("127.0.0.5"));
        QVERIFY(client);
        const QByteArray expected = QStringLiteral("PROXY TCP4 127.0.0.5 127.0.0.1 %1 %2\r\nhello")
                                        .arg(client->localPort())
                                        .arg(f.engine.serverPort())
                                        .toLatin1();
        QCOMPARE(receivedWith(f, *client, "hello"), expected);
        QCOMPARE(readExactly(*client, expected.size()), expected); // echoed whole
        QTRY_COMPARE(f.engine.livePairs().at(0).bytesFromClient, quint64(5));
    }

    void versionTwoIsBinaryWithTheProxyCommand() {
        RelayFixture f;
        f.engine.setProxyProtocol(2);
        auto client = f.acceptedClient(QStringLiteral("127.0.0.5"));
        QVERIFY(client);
        const QByteArray expected = QByteArray("\x0D\x0A\x0D\x0A\x00\x0D\x0A\x51\x55\x49\x54\x0A"
                                               "\x21\x11\x00\x0C"
                                               "\x7F\x00\x00\x05\x7F\x00\x00\x01",
                                               24) +
                                    bigEndian16(client->localPort()) +
                                    bigEndian16(f.engine.serverPort()) + "hi";
        QCOMPARE(receivedWith(f, *client, "hi"), expected);
    }

    void ipv6ClientsGetTcp6Headers() {
        QM_REQUIRE_IPV6();
        const QByteArray loopback6 = QByteArray(15, '\0') + '\x01';
        for (int version : {1, 2}) {
            RelayFixture f;
            f.engine.setProxyProtocol(version);
            auto client = f.acceptedClient(QStringLiteral("::1"));
            QVERIFY(client);
            const QByteArray expected =
                version == 1 ? QStringLiteral("PROXY TCP6 ::1 ::1 %1 %2\r\nsix")
                                   .arg(client->localPort())
                                   .arg(f.engine.serverPort())
                                   .toLatin1()
                             : QByteArray("\r\n\r\n\0\r\nQUIT\n\x21\x21\x00\x24", 16) + loopback6 +
                                   loopback6 + bigEndian16(client->localPort()) +
                                   bigEndian16(f.engine.serverPort()) + "six";
            QCOMPARE(receivedWith(f, *client, "six"), expected);
        }
    }
};

QM_TEST_MAIN_CORE(RelayProxyTest)
#include "relay_proxy_test.moc"
