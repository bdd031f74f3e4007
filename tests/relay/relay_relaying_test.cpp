#include "relay_fixture.h"

#include "support/test_main.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

// An upstream on 127.0.0.2 that does not read until told to, so everything
// sent towards it piles up in the kernel buffers on the way.
class StalledUpstream : public QObject {
public:
    StalledUpstream() {
        m_server.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            connection = m_server.nextPendingConnection();
            connection->setReadBufferSize(1);
        });
    }
    Upstream upstream() const { return {QStringLiteral("127.0.0.2"), m_server.serverPort()}; }
    QByteArray readAll(qsizetype expected) {
        connection->setReadBufferSize(0);
        return readExactly(*connection, expected);
    }

    QTcpSocket* connection = nullptr;

private:
    QTcpServer m_server;
};

// A listening socket on 127.0.0.2 with an OS-chosen port, for upstreams that
// run on threads of their own.
int listenOnSecondLoopback(quint16& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.2", &address.sin_addr);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(fd, 1);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// An upstream on 127.0.0.2 that, on its own thread, sends a burst to the
// first connection and closes it, whatever the event loop is doing; or, told
// to read on, ends its side only and reads until the relay closes the other.
class BurstUpstream {
public:
    explicit BurstUpstream(QByteArray burst, bool readsOn = false) : m_burst(std::move(burst)) {
        m_listener = listenOnSecondLoopback(m_port);
        m_thread = std::thread([this, readsOn] {
            const int connection = ::accept(m_listener, nullptr, nullptr);
            for (qsizetype sent = 0; connection >= 0 && sent < m_burst.size();) {
                const ssize_t n = ::send(connection, m_burst.constData() + sent,
                                         size_t(m_burst.size() - sent), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += n;
            }
            if (connection >= 0 && readsOn) {
                const timeval bound{10, 0}; // joined by the destructor without an event loop
                ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
                ::shutdown(connection, SHUT_WR);
                char discard[64 * 1024];
                while (::recv(connection, discard, sizeof discard, 0) > 0) {
                }
            }
            ::close(connection);
            closed = true;
        });
    }
    ~BurstUpstream() {
        ::shutdown(m_listener, SHUT_RDWR); // wakes an accept that never got a client
        m_thread.join();
        ::close(m_listener);
    }
    Upstream upstream() const { return {QStringLiteral("127.0.0.2"), m_port}; }

    std::atomic<bool> closed = false;

private:
    QByteArray m_burst;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

// An upstream on 127.0.0.2 whose one connection is served by script on its
// own thread, as a plain blocking socket (receives give up after 10 s).
class ScriptedUpstream {
public:
    explicit ScriptedUpstream(std::function<void(int)> script) {
        m_listener = listenOnSecondLoopback(m_port);
        m_thread = std::thread([this, script = std::move(script)] {
            const int connection = ::accept(m_listener, nullptr, nullptr);
            if (connection >= 0) {
                const timeval bound{10, 0};
                ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
                script(connection);
                ::close(connection);
            }
            done = true;
        });
    }
    ~ScriptedUpstream() {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    Upstream upstream() const { return {QStringLiteral("127.0.0.2"), m_port}; }

    // Reads until end of stream; true when it came (not a reset or time-out).
    static bool readToEnd(int fd, QByteArray& into) {
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return n == 0;
            into.append(buffer, n);
        }
    }
    static void sendAll(int fd, const QByteArray& bytes) {
        for (qsizetype sent = 0; sent < bytes.size();) {
            const ssize_t n =
                ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += n;
        }
    }

    std::atomic<bool> done = false;

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

// A client on its own thread that keeps sending, as a busy uploader does: it
// takes in readFirst bytes (reading only while it cannot send), then sends
// sendBlind more bytes without reading, then reads until the relay closes the
// connection. Gives up after 10 s without progress.
class UploadingClient {
public:
    UploadingClient(quint16 port, qsizetype readFirst, qsizetype sendBlind) {
        m_thread = std::thread([this, port, readFirst, sendBlind] {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            // A small window: what the relay sends waits on the relay's side.
            const int window = 32 * 1024;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            bool uploading = open;
            qsizetype blindLeft = sendBlind;
            const QByteArray chunk(64 * 1024, 'u');
            char buffer[64 * 1024];
            while (open) {
                const bool firstPart = m_received.size() < readFirst;
                const bool sending = uploading && (firstPart || blindLeft > 0);
                const bool reading = firstPart || !sending;
                pollfd ready{fd, short((reading ? POLLIN : 0) | (sending ? POLLOUT : 0)), 0};
                if (::poll(&ready, 1, 10000) <= 0)
                    break;
                if (sending && (ready.revents & (POLLOUT | POLLERR | POLLHUP))) {
                    const ssize_t n = ::send(fd, chunk.constData(), size_t(chunk.size()),
                                             MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (n > 0 && !firstPart)
                        blindLeft -= n;
                    if (n < 0 && errno != EAGAIN)
                        uploading = false;
                    continue;
                }
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0)
                    m_received.append(buffer, n);
                else if (n == 0 || errno != EAGAIN)
                    open = false;
            }
            ::close(fd);
            finished = true;
        });
    }
    ~UploadingClient() { m_thread.join(); }
    QByteArray received() const { return finished ? m_received : QByteArray(); }

    std::atomic<bool> finished = false;

private:
    QByteArray m_received;
    std::thread m_thread;
};

// A client and an upstream on threads of their own, both with Nagle's
// algorithm off, that trade messages in three 50-byte pieces 2 ms apart.
// Each round's time runs from the client's last piece to the reply's last
// byte: about 4 ms, unless the relay holds a piece back for a delayed ACK.
class PiecewiseExchange {
public:
    static constexpr int Rounds = 5;
    static constexpr int Pieces = 3;
    static constexpr int PieceBytes = 50;

    PiecewiseExchange() {
        m_listener = listenOnSecondLoopback(m_port);
        m_upstream = std::thread([this] {
            pollfd ready{m_listener, POLLIN, 0};
            if (::poll(&ready, 1, 10000) == 1)
                exchange(::accept(m_listener, nullptr, nullptr), false);
        });
    }
    ~PiecewiseExchange() {
        m_upstream.join();
        ::close(m_listener);
    }
    Upstream upstream() const { return {QStringLiteral("127.0.0.2"), m_port}; }

    // Runs the rounds through the relay on relayPort while this thread's event
    // loop drives the relay (a polling wait would add its own delay); returns
    // the milliseconds of every round, sorted, or fewer when one failed.
    std::vector<double> run(quint16 relayPort) {
        QEventLoop loop;
        QTimer::singleShot(15000, &loop, &QEventLoop::quit);
        m_client = std::thread([this, relayPort, &loop] {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(relayPort);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                exchange(fd, true);
            else
                ::close(fd);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        m_client.join();
        return m_roundMs;
    }

private:
    void exchange(int fd, bool isClient) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const timeval bound{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        const auto sendPieces = [fd] {
            const QByteArray piece(PieceBytes, 'p');
            for (int i = 0; i < Pieces; ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                if (::send(fd, piece.constData(), PieceBytes, MSG_NOSIGNAL) != PieceBytes)
                    return false;
            }
            return true;
        };
        const auto receiveMessage = [fd] {
            char buffer[Pieces * PieceBytes];
            for (int got = 0; got < Pieces * PieceBytes;) {
                const ssize_t n = ::recv(fd, buffer + got, sizeof buffer - got, 0);
                if (n <= 0)
                    return false;
                got += int(n);
            }
            return true;
        };
        for (int round = 0; round < Rounds; ++round) {
            if (!isClient) {
                if (!receiveMessage() || !sendPieces())
                    break;
                continue;
            }
            if (!sendPieces())
                break;
            const auto start = std::chrono::steady_clock::now();
            if (!receiveMessage())
                break;
            m_roundMs.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        if (isClient)
            std::sort(m_roundMs.begin(), m_roundMs.end());
        ::close(fd);
    }

    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_upstream;
    std::thread m_client;
    std::vector<double> m_roundMs;
};

QByteArray sha1(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

} // namespace

class RelayRelayingTest : public QObject {
    Q_OBJECT
private slots:
    void bytesPassUnchangedAndAreCountedPerSide() {
        RelayFixture f;
        f.server1.setEcho(false);
        auto client = f.acceptedClient();
        QVERIFY(client);
        const QByteArray request = patternBytes(100, 1);
        client->write(request);
        QTRY_COMPARE(f.server1.received(), request);
        QTRY_COMPARE(f.server1.openConnections().size(), 1);
        const QByteArray reply = patternBytes(40, 2);
        f.server1.openConnections().first()->write(reply);
        QCOMPARE(readExactly(*client, 40), reply);

        const auto pairs = f.engine.livePairs();
        QCOMPARE(pairs.size(), 1u);
        QCOMPARE(pairs[0].bytesFromClient, 100u);
        QCOMPARE(pairs[0].bytesFromServer, 40u);
    }

    void megabytesBothWaysArriveIntact() {
        RelayFixture f;
        auto client = f.acceptedClient();
        QVERIFY(client);
        const QByteArray sent = patternBytes(8 << 20, 3);
        client->write(sent);
        const QByteArray echoed = readExactly(*client, sent.size());
        QCOMPARE(echoed.size(), sent.size());
        QCOMPARE(sha1(echoed), sha1(sent));
        QCOMPARE(sha1(f.server1.received()), sha1(sent));
        QCOMPARE(f.engine.livePairs()[0].bytesFromClient, quint64(sent.size()));
        QCOMPARE(f.engine.livePairs()[0].bytesFromServer, quint64(sent.size()));
        // The bulk took the splice path both ways; small pieces still pass at once.
        for (const QByteArray& piece : {QByteArray("a"), QByteArray("a small piece")}) {
            client->write(piece);
            QCOMPARE(readExactly(*client, piece.size()), piece);
        }
    }

    void busyPairsTakeTurnsWithoutMixingTheirBytes() {
        RelayFixture f;
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        std::vector<QByteArray> sent;
        for (quint32 i = 0; i < 6; ++i) {
            clients.push_back(f.acceptedClient());
            QVERIFY(clients.back());
            sent.push_back(patternBytes(4 << 20, 10 + i));
        }
        for (size_t i = 0; i < clients.size(); ++i)
            clients[i]->write(sent[i]);
        for (size_t i = 0; i < clients.size(); ++i) {
            const QByteArray echoed = readExactly(*clients[i], sent[i].size());
            QCOMPARE(sha1(echoed), sha1(sent[i]));
        }
        for (const PairSnapshot& pair : f.engine.livePairs())
            QCOMPARE(pair.bytesFromServer, quint64(4 << 20));
    }

    void upstreamGreetingBeforeAcceptanceReachesTheClientCountedOnce() {
        RelayFixture f;
        f.server1.setGreeting("220 ready\r\n");
        auto client = f.connectClient();
        QVERIFY(client);
        QCOMPARE(readExactly(*client, 11), QByteArray("220 ready\r\n"));
        QTest::qWait(50);
        QCOMPARE(client->bytesAvailable(), 0);
        QCOMPARE(f.engine.livePairs()[0].bytesFromServer, 11u);
    }

    void smallPiecesLeaveAtOnceBothWays() {
        RelayFixture f;
        PiecewiseExchange exchange;
        f.chooseUpstreams({exchange.upstream()});
        const std::vector<double> ms = exchange.run(f.engine.serverPort());
        QCOMPARE(int(ms.size()), PiecewiseExchange::Rounds);
        // A coarse guard: a held-back piece costs a delayed ACK, 40 ms.
        QVERIFY2(ms[ms.size() / 2] < 25, qPrintable(QString::number(ms[ms.size() / 2])));
    }

    void aSideThatDoesNotReadStopsTheOtherSideBeingRead() {
        RelayFixture f;
        StalledUpstream stalled;
        f.chooseUpstreams({stalled.upstream()});
        auto client = f.acceptedClient();
        QVERIFY(client);
        const QByteArray sent = patternBytes(96 << 20, 4);
        client->write(sent);
        // Kernel buffers take some MB, up to about 35 once bulk is spliced (its
        // pages are charged to the sockets for less than they hold); a relay
        // that buffered without limit would have taken everything off the client.
        QTest::qWait(700);
        QVERIFY2(client->bytesToWrite() > (48 << 20),
                 qPrintable(QString::number(client->bytesToWrite())));
        const QByteArray arrived = stalled.readAll(sent.size());
        QCOMPARE(arrived.size(), sent.size());
        QCOMPARE(sha1(arrived), sha1(sent));
        QCOMPARE(client->bytesToWrite(), 0);
    }

    void clientClosingAfterABurstHasItAllDeliveredFirst() {
        RelayFixture f;
        StalledUpstream stalled;
        f.chooseUpstreams({stalled.upstream()});
        auto client = f.acceptedClient();
        QVERIFY(client);
        const QByteArray sent = patternBytes(8 << 20, 5);
        client->write(sent);
        client->disconnectFromHost(); // after the last byte has left
        QTest::qWait(300);
        const QByteArray arrived = stalled.readAll(sent.size());
        QCOMPARE(sha1(arrived), sha1(sent));
        QVERIFY(waitForClose(*stalled.connection));
        QCOMPARE(f.captions.last(), QStringLiteral("Онлаин – 0"));
        QCOMPARE(f.ended.size(), 1);
        QCOMPARE(f.ended[0].bytesFromClient, quint64(sent.size()));
    }

    void upstreamClosingAfterABurstHasItAllDeliveredFirst() {
        RelayFixture f;
        const QByteArray sent = patternBytes(1 << 20, 6);
        BurstUpstream burst(sent);
        f.chooseUpstreams({burst.upstream()});
        auto client = f.connectClient();
        QVERIFY(client);
        client->setReadBufferSize(1); // reads nothing for now
        // The pair ends when the upstream has gone, although the client has
        // not taken the bytes yet; they still arrive.
        QTRY_VERIFY(burst.closed);
        QTRY_COMPARE(f.ended.size(), 1);
        QCOMPARE(f.captions.last(), QStringLiteral("Онлайн – 0"));
        QCOMPARE(f.ended[0].bytesFromServer, quint64(sent.size()));
        QCOMPARE(f.engine.pairsInProgress(), 0);
        client->setReadBufferSize(0);
        const QByteArray arrived = readExactly(*client, sent.size());
        QCOMPARE(sha1(arrived), sha1(sent));
        QVERIFY(waitForClose(*client));
        QTRY_COMPARE(f.engine.lingeringSockets(), 0);
    }

    void aClientStillSendingGetsAllThatAnEndingUpstreamSent() {
        RelayFixture f;
        const QByteArray sent = patternBytes(4 << 20, 8);
        BurstUpstream burst(sent, /*readsOn=*/true);
        f.chooseUpstreams({burst.upstream()});
        // The client stops reading just before the end and goes on sending,
        // so the ended pair's last bytes wait on the relay's side while it
        // reads and drops what the client still sends.
        UploadingClient client(f.engine.serverPort(), sent.size() - 256 * 1024, 64 << 20);
        QTRY_VERIFY_WITH_TIMEOUT(client.finished, 15000);
        QCOMPARE(f.ended.size(), 1);
        QCOMPARE(f.ended[0].bytesFromServer, quint64(sent.size()));
        QCOMPARE(client.received().size(), sent.size());
        QCOMPARE(sha1(client.received()), sha1(sent));
        QTRY_VERIFY(burst.closed); // the relay ended the upstream's side too
    }

    void aClientThatHalfClosesGetsTheWholeLateReply() {
        RelayFixture f;
        const QByteArray request = patternBytes(1000, 20);
        const QByteArray reply = patternBytes(2 << 20, 21);
        QByteArray requestSeen;
        ScriptedUpstream server([&](int fd) {
            if (!ScriptedUpstream::readToEnd(fd, requestSeen))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ScriptedUpstream::sendAll(fd, reply);
        });
        f.chooseUpstreams({server.upstream()});
        auto client = f.acceptedClient();
        QVERIFY(client);
        client->write(request);
        QVERIFY(client->waitForBytesWritten(5000));
        ::shutdown(int(client->socketDescriptor()), SHUT_WR);

        // The pair ends at the end of stream; the reply still comes after it.
        QTRY_COMPARE(f.ended.size(), 1);
        QCOMPARE(f.captions.last(), QStringLiteral("Онлаин – 0"));
        QCOMPARE(f.engine.pairsInProgress(), 0);
        const QByteArray arrived = readExactly(*client, reply.size());
        QCOMPARE(sha1(arrived), sha1(reply));
        QVERIFY(waitForClose(*client)); // the server's end of stream passed on
        QVERIFY(server.done);
        QCOMPARE(requestSeen, request);
        QCOMPARE(f.ended[0].bytesFromServer, 0u); // carried after the ending, uncounted
        QTRY_COMPARE(f.engine.lingeringSockets(), 0);
    }

    void aServerThatHalfClosesStillReceivesTheClientsBytes() {
        RelayFixture f;
        const QByteArray upload = patternBytes(1 << 20, 22);
        QByteArray uploadSeen;
        bool serverSawEnd = false;
        ScriptedUpstream server([&](int fd) {
            ScriptedUpstream::sendAll(fd, "hello");
            ::shutdown(fd, SHUT_WR);
            serverSawEnd = ScriptedUpstream::readToEnd(fd, uploadSeen);
        });
        f.chooseUpstreams({server.upstream()});
        // A plain socket: the client goes on sending after the server's end.
        std::atomic<bool> pairEnded = false;
        QByteArray greeting;
        bool clientSawEnd = false;
        std::jthread client([&, port = f.engine.serverPort()] {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const timeval bound{10, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                char hello[5];
                if (::recv(fd, hello, sizeof hello, MSG_WAITALL) == sizeof hello)
                    greeting = QByteArray(hello, sizeof hello);
                for (int i = 0; i < 1000 && !pairEnded; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ScriptedUpstream::sendAll(fd, upload);
                ::shutdown(fd, SHUT_WR);
                QByteArray rest;
                clientSawEnd = ScriptedUpstream::readToEnd(fd, rest) && rest.isEmpty();
            }
            ::close(fd);
        });
        QTRY_COMPARE(f.ended.size(), 1);
        QCOMPARE(f.captions.last(), QStringLiteral("Онлайн – 0"));
        pairEnded = true;
        QTRY_VERIFY_WITH_TIMEOUT(server.done, 10000);
        client.join();
        QCOMPARE(greeting, QByteArray("hello"));
        QVERIFY(serverSawEnd && clientSawEnd);
        QCOMPARE(sha1(uploadSeen), sha1(upload));
        QCOMPARE(f.ended.size(), 1);
        QTRY_COMPARE(f.engine.lingeringSockets(), 0);
    }

    void aHalfClosedPairFallenSilentIsClosedAfterTheBound() {
        RelayFixture f;
        f.engine.setHalfCloseIdleMs(300);
        std::atomic<bool> release = false;
        ScriptedUpstream server([&](int fd) {
            QByteArray ignored;
            ScriptedUpstream::readToEnd(fd, ignored);  // the client's end of stream
            for (int i = 0; i < 1000 && !release; ++i) // then silence, connection open
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        });
        f.chooseUpstreams({server.upstream()});
        auto client = f.acceptedClient();
        QVERIFY(client);
        ::shutdown(int(client->socketDescriptor()), SHUT_WR);
        QTRY_COMPARE(f.ended.size(), 1);
        QCOMPARE(f.engine.lingeringSockets(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(f.engine.lingeringSockets(), 0, 3000);
        QVERIFY(waitForClose(*client));
        release = true;
    }

    void aPeerThatNeverReadsHoldsAnEndedPairOnlyForTheLingerTime() {
        RelayFixture f;
        f.engine.setCloseLingerMs(300);
        f.engine.setHalfCloseIdleMs(300); // once the burst fits in its buffers
        BurstUpstream burst(patternBytes(1 << 20, 7));
        f.chooseUpstreams({burst.upstream()});
        auto client = f.connectClient();
        QVERIFY(client);
        client->setReadBufferSize(1); // and never reads
        QTRY_VERIFY(burst.closed);
        QTRY_COMPARE(f.ended.size(), 1);
        QCOMPARE(f.engine.lingeringSockets(), 2); // the client could still send upstream
        QTRY_COMPARE_WITH_TIMEOUT(f.engine.lingeringSockets(), 0, 2000);
    }

    void anUpstreamResetWithClientBytesWaitingEndsThePairOnceAsAnUpstreamEnding() {
        RelayFixture f;
        f.server1.setEcho(false);
        auto client = f.acceptedClient();
        QVERIFY(client);
        QTRY_COMPARE(f.server1.openConnections().size(), 1);
        QTcpSocket* upstream = f.server1.openConnections().first();

        // The client's bytes race the upstream's reset: the relaying thread
        // sees either the reset first or a send that fails; both are one
        // upstream ending, and only the failed send is a forwarding failure.
        client->write("doomed");
        client->flush();
        const linger reset{1, 0};
        setsockopt(int(upstream->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        upstream->abort();

        QVERIFY(waitForClose(*client));
        QTRY_COMPARE(f.ended.size(), 1);
        QVERIFY(f.forwardingFailures.size() <= 1);
        if (!f.forwardingFailures.isEmpty())
            QCOMPARE(f.ended[0].bytesFromClient, 6u);
        QCOMPARE(f.captions,
                 (QStringList{QStringLiteral("Онлаин – 1"), QStringLiteral("Онлайн – 0")}));
        QCOMPARE(f.engine.onlineN(), 0);
        QCOMPARE(f.engine.pairsInProgress(), 0);
    }
};

QM_TEST_MAIN_CORE(RelayRelayingTest)
#include "relay_relaying_test.moc"
