// The built program in headless mode: it reads config.ini and ban.dat from its
// own folder, relays at once, prints one line per event and ends cleanly on
// SIGINT and SIGTERM, re-reads its files on SIGHUP, waits for a server that
// does not answer yet; a first start refused for its port ends it with code 1
// (3 for a port it may not use); a reload that cannot take effect keeps the
// relay as it was, and systemd hears READY, RELOADING and the status line.
#include "support/test_main.h"

#include "app/command_line.h"
#include "support/controller_rig.h"
#include "support/file_helpers.h"
#include "support/headless_program.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSocketNotifier>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

// Connects the client as soon as the program listens; false if it ends first.
bool connectOnceListening(QTcpSocket& client, quint16 port, const QProcess& process) {
    return QTest::qWaitFor(
               [&] {
                   if (process.state() == QProcess::NotRunning)
                       return true;
                   if (client.state() == QAbstractSocket::UnconnectedState)
                       client.connectToHost(QHostAddress::LocalHost, port);
                   return client.state() == QAbstractSocket::ConnectedState;
               },
               10000) &&
           process.state() == QProcess::Running;
}

// Where the program sends what systemd is to hear (NOTIFY_SOCKET).
class NotifySocket {
public:
    NotifySocket() {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(m_folder.filePath(QStringLiteral("notify")));
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            m_path = QString::fromLocal8Bit(path);
    }
    ~NotifySocket() { ::close(m_fd); }
    QString path() const { return m_path; }
    // Every line received so far, in order.
    const QStringList& lines() {
        char buffer[4096];
        ssize_t length;
        while ((length = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0)
            m_lines += QString::fromUtf8(buffer, int(length)).split('\n');
        return m_lines;
    }

private:
    QTemporaryDir m_folder;
    int m_fd = -1;
    QString m_path;
    QStringList m_lines;
};

} // namespace

class HeadlessTest : public QObject {
    Q_OBJECT
private slots:
    void relaysPrintsEventsAndEndsOnSignal_data();
    void relaysPrintsEventsAndEndsOnSignal();
    void busyPortEndsWithCodeOne();
    void forbiddenPortEndsWithCodeThree();
    void waitsForAServerAndTellsTheJournalItsLevels();
    void hangUpReadsTheFilesAgain();
    void outputThatNobodyReadsDoesNotEndTheRelay();
    void outputThatStallsDoesNotHoldUpTheRelay();
    void runningOutOfDescriptorsNeverTakesTheRelayOffline_data();
    void runningOutOfDescriptorsNeverTakesTheRelayOffline();
};

void HeadlessTest::relaysPrintsEventsAndEndsOnSignal_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void HeadlessTest::relaysPrintsEventsAndEndsOnSignal() {
    QFETCH(int, signalNumber);
    if (!fixedDatagramPortFree())
        QSKIP("datagram port 44786 is in use on this machine");
    FakeUpstream server(QHostAddress(QStringLiteral("127.0.0.1")));
    const quint16 port = freePort();
    const quint16 deadPort = freePort();
    HeadlessProgram program;
    // ban.dat: 127.0.0.5 banned, then the spare element.
    QVERIFY(program.install(configFor(port, server.port(), deadPort),
                            QByteArray("\x7f\x00\x00\x05\x00\x00\x00\x00", 8)));
    program.start();

    QTRY_VERIFY_WITH_TIMEOUT(program.printed(QStringLiteral("listening on port %1").arg(port)),
                             10000);
    QVERIFY(program.printed(
        QStringLiteral("server 1 (127.0.0.1 port %1) reachable").arg(server.port())));
    QVERIFY(
        program.printed(QStringLiteral("server 2 (127.0.0.2 port %1) unreachable").arg(deadPort)));

    {
        auto client = connectClient(port, QHostAddress(QStringLiteral("127.0.0.7")));
        QVERIFY(roundTrip(*client, "hello"));
        QTRY_VERIFY_WITH_TIMEOUT(
            program.printed(
                QStringLiteral("client 127.0.0.7 accepted in slot 1, server 127.0.0.1:%1")
                    .arg(server.port())),
            5000);
        client->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(
            program.output.contains(QStringLiteral("pair 1 of client 127.0.0.7 ended: 5 bytes "
                                                   "from client, 5 bytes from server, after ")),
            5000);
    }
    auto banned = connectClient(port, QHostAddress(QStringLiteral("127.0.0.5")));
    QTRY_VERIFY_WITH_TIMEOUT(program.output.contains(QStringLiteral("client 127.0.0.5 refused: ")),
                             5000);
    // Probe results are printed when they change, not every second.
    QCOMPARE(program.output.count(QStringLiteral("server 1 (")), 1);

    ::kill(static_cast<pid_t>(program.process.processId()), signalNumber);
    QTRY_VERIFY_WITH_TIMEOUT(program.process.state() == QProcess::NotRunning, 5000);
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    QVERIFY(program.printed(QStringLiteral("stopping on signal %1").arg(signalNumber)));
    QCOMPARE(readBytes(program.folder.filePath("config.ini")),
             QStringLiteral("[main]\nAuto_Start= 0\nClient_Port= %1\nServer_IP=127.0.0.1\n"
                            "Server_Port= %2\nServer2_IP=127.0.0.2\nServer2_Port= %3\n")
                 .arg(port)
                 .arg(server.port())
                 .arg(deadPort)
                 .toLatin1());
}

void HeadlessTest::busyPortEndsWithCodeOne() {
    FakeUpstream server(QHostAddress(QStringLiteral("127.0.0.1")));
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::AnyIPv4));
    HeadlessProgram program;
    const QByteArray config = configFor(other.serverPort(), server.port(), freePort());
    QVERIFY(program.install(config));
    program.start();
    QTRY_VERIFY_WITH_TIMEOUT(program.process.state() == QProcess::NotRunning, 10000);
    QCOMPARE(program.process.exitCode(), 1);
    QVERIFY(program.printed(
        QStringLiteral(
            "client port %1 is in use; message: Порт занят, пожалуйста введите другой порт")
            .arg(other.serverPort())));
    QCOMPARE(readBytes(program.folder.filePath("config.ini")), config);
}

// Unlike a busy port, retrying cannot help: the text and the code say so.
void HeadlessTest::forbiddenPortEndsWithCodeThree() {
    const bool root = ::geteuid() == 0;
    if (!root && readBytes("/proc/sys/net/ipv4/ip_unprivileged_port_start").toInt() <= 1)
        QSKIP("every user may use port 1 here");
    FakeUpstream server(QHostAddress(QStringLiteral("127.0.0.1")));
    HeadlessProgram program;
    QVERIFY(program.install(configFor(1, server.port(), freePort())));
    // As root, the program runs as nobody, in a folder nobody may write.
    QVERIFY(QFile::setPermissions(program.folder.path(), QFileDevice::Permissions(0x7777)));
    if (root)
        program.process.setChildProcessModifier([] {
            const gid_t nogroup = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    program.start();
    QTRY_VERIFY_WITH_TIMEOUT(program.process.state() == QProcess::NotRunning, 10000);
    QCOMPARE(program.process.exitCode(), int(ExitPortForbidden));
    QVERIFY2(program.printed(QStringLiteral(
                 "client port 1 may not be used: permission denied (a port below 1024 needs the "
                 "capability CAP_NET_BIND_SERVICE); message: Порт занят, пожалуйста введите "
                 "другой порт")),
             qPrintable(program.output));
}

void HeadlessTest::waitsForAServerAndTellsTheJournalItsLevels() {
    if (!fixedDatagramPortFree())
        QSKIP("datagram port 44786 is in use on this machine");
    FakeUpstream server(QHostAddress(QStringLiteral("127.0.0.1")));
    server.stopListening();
    const quint16 port = freePort();
    HeadlessProgram program;
    QVERIFY(program.install(
        configFor(port, server.port(), freePort()).replace("Auto_Start=0", "Auto_Start=x")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("8:1234"));
    program.start(environment);

    QTRY_VERIFY_WITH_TIMEOUT(
        program.printed(QStringLiteral("<4>waiting for a server to answer, probing once a second")),
        10000);
    QVERIFY(program.printed(
        QStringLiteral("<4>config.ini: Auto_Start=x cannot be read, the default is used")));
    QVERIFY(program.printed(QStringLiteral("<3>no server answers; message: Сервер недоступен")));
    QVERIFY(server.listen());
    QTRY_VERIFY2_WITH_TIMEOUT(program.printed(QStringLiteral("<6>listening on port %1").arg(port)),
                              qPrintable(program.output), 10000);
    auto client = connectClient(port);
    QVERIFY(roundTrip(*client, "late server"));
    QCOMPARE(program.output.count(QStringLiteral("waiting for a server")), 1);
    QVERIFY(program.endsCleanlyOn(SIGTERM));
}

void HeadlessTest::hangUpReadsTheFilesAgain() {
    if (!fixedDatagramPortFree())
        QSKIP("datagram port 44786 is in use on this machine");
    FakeUpstream server(QHostAddress(QStringLiteral("127.0.0.1")));
    const quint16 port = freePort();
    const quint16 newPort = freePort();
    HeadlessProgram program;
    QVERIFY(program.install(configFor(port, server.port(), freePort())));
    NotifySocket systemd;
    QVERIFY(!systemd.path().isEmpty());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), systemd.path());
    program.start(environment);
    QTRY_VERIFY_WITH_TIMEOUT(program.printed(QStringLiteral("listening on port %1").arg(port)),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(systemd.lines().contains(QStringLiteral("READY=1")), 5000);
    QVERIFY(
        systemd.lines().contains(QStringLiteral("STATUS=listening on %1, 0 clients").arg(port)));

    // A port that is taken changes nothing: the pair goes on, the old port serves.
    auto before = connectClient(port);
    QVERIFY(roundTrip(*before, "before reload"));
    QTcpServer taker;
    QVERIFY(taker.listen(QHostAddress::AnyIPv4));
    QVERIFY(writeBytes(program.folder.filePath("config.ini"),
                       configFor(taker.serverPort(), server.port(), freePort())));
    ::kill(static_cast<pid_t>(program.process.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(
        program.printed(
            QStringLiteral("reload refused: still listening on port %1 as before").arg(port)),
        10000);
    QVERIFY(program.printed(
        QStringLiteral(
            "client port %1 is in use; message: Порт занят, пожалуйста введите другой порт")
            .arg(taker.serverPort())));
    QTRY_VERIFY_WITH_TIMEOUT(systemd.lines().count(QStringLiteral("READY=1")) == 2, 5000);
    QVERIFY(systemd.lines().contains(QStringLiteral("RELOADING=1")));
    QVERIFY(roundTrip(*before, "kept"));
    auto during = connectClient(port);
    QVERIFY(roundTrip(*during, "old port"));

    // The new port, and 127.0.0.7 banned.
    QVERIFY(writeBytes(program.folder.filePath("config.ini"),
                       configFor(newPort, server.port(), freePort())));
    QVERIFY(writeBytes(program.folder.filePath("ban.dat"),
                       QByteArray("\x7f\x00\x00\x07\x00\x00\x00\x00", 8)));
    ::kill(static_cast<pid_t>(program.process.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(program.printed(QStringLiteral("listening on port %1").arg(newPort)),
                             10000);
    QVERIFY(program.process.state() == QProcess::Running);
    auto client = connectClient(newPort);
    QVERIFY(roundTrip(*client, "after reload"));
    auto banned = connectClient(newPort, QHostAddress(QStringLiteral("127.0.0.7")));
    QTRY_VERIFY_WITH_TIMEOUT(program.output.contains(QStringLiteral("client 127.0.0.7 refused: ")),
                             5000);
    QVERIFY(program.endsCleanlyOn(SIGTERM));
}

void HeadlessTest::outputThatNobodyReadsDoesNotEndTheRelay() {
    if (!fixedDatagramPortFree())
        QSKIP("datagram port 44786 is in use on this machine");
    InstalledRelay relay;
    QVERIFY(relay.installed);
    auto& [server, port, program, installed] = relay;
    // Standard output is a pipe whose reader has gone, as when the program
    // that read the log has ended: every line printed fails.
    program.process.setChildProcessModifier([] {
        int fds[2];
        if (::pipe(fds) == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
        }
    });
    program.start();

    QTcpSocket client;
    QVERIFY(connectOnceListening(client, port, program.process));
    QVERIFY(roundTrip(client, "still relaying")); // printed as accepted meanwhile
    QVERIFY(program.endsCleanlyOn(SIGTERM));
}

void HeadlessTest::outputThatStallsDoesNotHoldUpTheRelay() {
    if (!fixedDatagramPortFree())
        QSKIP("datagram port 44786 is in use on this machine");
    InstalledRelay relay;
    QVERIFY(relay.installed);
    auto& [server, port, program, installed] = relay;
    // Standard output is a pipe of one page whose reader, this test, reads
    // nothing until every client has been echoed.
    int ends[2] = {-1, -1};
    QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
    const auto closeEnds = qScopeGuard([&ends] {
        for (const int end : ends)
            if (end >= 0)
                ::close(end);
    });
    const int capacity = ::fcntl(ends[0], F_SETPIPE_SZ, 4096);
    QVERIFY(capacity > 0);
    QCOMPARE(::fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
    program.process.setChildProcessModifier([end = ends[1]] { ::dup2(end, STDOUT_FILENO); });
    program.start();
    ::close(ends[1]);
    ends[1] = -1;

    QTcpSocket first;
    QVERIFY(connectOnceListening(first, port, program.process));
    QVERIFY(roundTrip(first, "first"));
    // An accepted line alone is some 60 bytes: the pipe fills twice over while
    // every client is still echoed.
    const int clients = 2 * capacity / 60;
    for (int i = 0; i < clients; ++i) {
        const auto client = connectClient(port);
        QVERIFY2(roundTrip(*client, "x"), qPrintable(QStringLiteral("client %1").arg(i + 1)));
    }

    // Once read, every line queued meanwhile comes out whole and in order,
    // while the program still runs, and the last ones at the stop.
    QByteArray printed;
    bool endOfFile = false;
    QSocketNotifier reader(ends[0], QSocketNotifier::Read);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        char chunk[4096];
        const ssize_t count = ::read(ends[0], chunk, sizeof chunk);
        if (count > 0)
            printed.append(chunk, count);
        endOfFile = count == 0;
        reader.setEnabled(!endOfFile);
    });
    const QRegularExpression accepted(
        QStringLiteral("^client 127\\.0\\.0\\.1 accepted in slot \\d+, server 127\\.0\\.0\\.1:%1$")
            .arg(server.port()));
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(printed).split('\n').filter(accepted).size(),
                              clients + 1, 5000);
    QVERIFY(printed.size() > 2 * capacity);
    ::kill(static_cast<pid_t>(program.process.processId()), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(endOfFile, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(program.process.state() == QProcess::NotRunning, 5000);
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    QVERIFY(
        printed.endsWith(QByteArray("\nstopping on signal ") + QByteArray::number(SIGTERM) + '\n'));
}

void HeadlessTest::runningOutOfDescriptorsNeverTakesTheRelayOffline_data() {
    // Room for some twenty pairs; whether the last descriptor goes to a pair or
    // is left for the probe depends on the limit's parity.
    QTest::addColumn<int>("limit");
    QTest::newRow("64") << 64;
    QTest::newRow("65") << 65;
}

void HeadlessTest::runningOutOfDescriptorsNeverTakesTheRelayOffline() {
    QFETCH(int, limit);
    if (!fixedDatagramPortFree())
        QSKIP("datagram port 44786 is in use on this machine");
    InstalledRelay relay;
    QVERIFY(relay.installed);
    auto& [server, port, program, installed] = relay;
    program.descriptorLimit = limit;
    program.start();
    QTRY_VERIFY_WITH_TIMEOUT(program.printed(QStringLiteral("listening on port %1").arg(port)),
                             10000);

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 40; ++i)
        clients.push_back(connectClient(port));
    QTRY_VERIFY_WITH_TIMEOUT(program.output.contains(QStringLiteral("refused: out of descriptors")),
                             10000);
    // The probe still finds its descriptor, and the server.
    const int probes = server.connectionsAccepted();
    QTRY_VERIFY_WITH_TIMEOUT(server.connectionsAccepted() >= probes + 2, 5000);
    QVERIFY(!program.output.contains(QStringLiteral("listener closed")));

    // Enough leave that several pairs end, whichever of the clients got in.
    clients.resize(clients.size() / 4);
    QVERIFY(QTest::qWaitFor(
        [&] {
            auto client = connectClient(port);
            return roundTrip(*client, "hello", 1000);
        },
        10000));
    ::kill(static_cast<pid_t>(program.process.processId()), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(program.process.state() == QProcess::NotRunning, 5000);
}

QM_TEST_MAIN_CORE(HeadlessTest)
#include "headless_test.moc"
