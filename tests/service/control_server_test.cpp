// The control socket under clients that misbehave: garbage, an oversized
// line, a holder that sends nothing and one that never reads do not keep 20
// real clients from their answers; another user's client gets nothing.
#include "support/controller_rig.h"
#include "support/test_main.h"

#include "service/control/control_commands.h"
#include "service/control/control_server.h"
#include "service/relay_totals.h"

#include <QJsonObject>
#include <QLocalSocket>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

// What came back on a local socket before the server closed it.
QByteArray answerTo(QLocalSocket& client, int timeoutMs = 5000) {
    QByteArray received;
    // A server that keeps it open shows as what arrived so far; the caller judges.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            received += client.readAll();
            return client.state() == QLocalSocket::UnconnectedState;
        },
        timeoutMs));
    return received + client.readAll();
}

// In a child under another uid: connects to path and asks for the status.
// Exits 0 when the server closed without a byte of answer.
[[noreturn]] void askAsNobody(const QByteArray& path) {
    if (setgid(65534) != 0 || setuid(65534) != 0)
        _exit(3);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        _exit(4);
    const char request[] = "{\"command\":\"bans\"}\n";
    if (::write(fd, request, sizeof request - 1) < 0)
        _exit(5);
    char byte = 0;
    _exit(::read(fd, &byte, 1) <= 0 ? 0 : 1); // closed or reset, never answered
}

} // namespace

class ControlServerTest : public QObject {
    Q_OBJECT
private slots:
    void misbehavingClientsDoNoHarm();
    void anotherUserIsRefused();
};

void ControlServerTest::misbehavingClientsDoNoHarm() {
    ControllerRig rig;
    RelayTotals totals(*rig.controller);
    int reloads = 0;
    ControlCommands commands(*rig.controller, rig.bans, totals, [&reloads] { ++reloads; });
    ControlServer server(commands, ControlServer::Limits{32, 2000});
    const QString path = rig.dir.filePath(QStringLiteral("ctl"));
    QVERIFY(server.listen(path));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);

    QLocalSocket idle, garbage, oversized, deaf;
    for (QLocalSocket* client : {&idle, &garbage, &oversized, &deaf})
        client->connectToServer(path);
    garbage.write("\x01\xff{not json\n");
    oversized.write(QByteArray(MaxControlRequestBytes + 10, 'x'));
    deaf.write("{\"command\":\"online\"}\n"); // and never reads

    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(std::make_unique<QLocalSocket>());
        clients.back()->connectToServer(path);
        clients.back()->write("{\"command\":\"status\"}\n");
    }
    for (auto& client : clients) {
        const std::optional<ControlReply> reply = decodeControlReply(answerTo(*client));
        QVERIFY(reply);
        QCOMPARE(reply->code, int(ControlReply::Done));
        QCOMPARE(reply->data.toObject().value(QLatin1String("listening")).toBool(), false);
    }
    for (QLocalSocket* client : {&garbage, &oversized}) {
        const std::optional<ControlReply> reply = decodeControlReply(answerTo(*client));
        QVERIFY(reply);
        QCOMPARE(reply->code, int(ControlReply::Declined));
    }
    // The holder that sends nothing is dropped after its time; nothing was run.
    QCOMPARE(idle.state(), QLocalSocket::ConnectedState);
    QVERIFY(answerTo(idle, 10000).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(server.clientCount(), 0, 10000);
    QCOMPARE(reloads, 0);
}

void ControlServerTest::anotherUserIsRefused() {
    if (geteuid() != 0)
        QSKIP("needs root to run a client as another user");
    ControllerRig rig;
    RelayTotals totals(*rig.controller);
    ControlCommands commands(*rig.controller, rig.bans, totals, [] {});
    ControlServer server(commands);
    const QString path = rig.dir.filePath(QStringLiteral("ctl"));
    QVERIFY(server.listen(path));
    // Open the way so that only the peer check stands in it.
    QVERIFY(::chmod(QFile::encodeName(rig.dir.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
    const pid_t child = fork();
    if (child == 0)
        askAsNobody(QFile::encodeName(path));
    int status = -1;
    QVERIFY(QTest::qWaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 10000));
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QM_TEST_MAIN_CORE(ControlServerTest)
#include "control_server_test.moc"
