// quillet-mirror ctl against the built program: every command on a headless
// relay with three real clients, its exit codes, bad words that change
// nothing, and the desktop program answering too.
#include "support/ipv6_loopback.h"
#include "support/test_main.h"

#include "core/runtime_folder.h"
#include "support/controller_rig.h"
#include "support/headless_program.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace qm;
using namespace qm::test;

namespace {

QJsonDocument json(const CtlRun& run) {
    return QJsonDocument::fromJson(run.out.toUtf8());
}

// The first column of each row of a text table, header left out.
QStringList firstColumns(const QString& table, int column) {
    QStringList cells;
    const QStringList lines = table.split('\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i)
        cells << lines.at(i).split(' ', Qt::SkipEmptyParts).value(column);
    return cells;
}

bool isConnected(QTcpSocket& client) {
    return client.state() == QAbstractSocket::ConnectedState && roundTrip(client, "ping");
}

} // namespace

class CtlTest : public QObject {
    Q_OBJECT
private slots:
    void everyCommandAgainstTheHeadlessRelay();
    void theDesktopProgramAnswers();
};

void CtlTest::everyCommandAgainstTheHeadlessRelay() {
    if (!fixedDatagramPortFree())
        QSKIP("datagram port 44786 is in use on this machine");
    InstalledRelay relay;
    QVERIFY(relay.installed);
    auto& [server, port, program, installed] = relay;
    program.start();
    QTRY_VERIFY_WITH_TIMEOUT(program.printed(QStringLiteral("listening on port %1").arg(port)),
                             10000);

    std::unique_ptr<QTcpSocket> clients[3];
    const char* const from[] = {"127.0.0.2", "127.0.0.3", "127.0.0.2"};
    for (int i = 0; i < 3; ++i) {
        clients[i] = connectClient(port, QHostAddress(QLatin1String(from[i])));
        QVERIFY(roundTrip(*clients[i], "hello"));
    }

    const CtlRun online = program.ctl({QStringLiteral("online")});
    QCOMPARE(online.exitCode, 0);
    QCOMPARE(firstColumns(online.out, 0), QStringList({"1", "2", "3"}));
    QCOMPARE(firstColumns(online.out, 1), QStringList({"127.0.0.2", "127.0.0.3", "127.0.0.2"}));
    const QJsonArray rows = json(program.ctl({"--json", "online"})).array();
    QCOMPARE(rows.size(), 3);
    const QJsonObject first = rows.at(0).toObject();
    QCOMPARE(first.value("slot").toInt(), 1);
    QCOMPARE(first.value("address").toString(), QStringLiteral("127.0.0.2"));
    QCOMPARE(first.value("from_client").toInt(), 5);
    QCOMPARE(first.value("from_server").toInt(), 5);
    QCOMPARE(first.value("server").toString(), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QVERIFY(QDateTime::fromString(first.value("since").toString(), Qt::ISODate).isValid());
    const QJsonObject status = json(program.ctl({"--json", "status"})).object();
    QCOMPARE(status.value("listening").toBool(), true);
    QCOMPARE(status.value("port").toInt(), int(port));
    QCOMPARE(status.value("online").toInt(), 3);
    QCOMPARE(status.value("accepted").toInt(), 3);

    // The lower slot of the address goes, and the count falls by one.
    QCOMPARE(program.ctl({"disconnect", "127.0.0.2"}).exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(clients[0]->state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY(isConnected(*clients[2]));
    QCOMPARE(json(program.ctl({"--json", "status"})).object().value("online").toInt(), 2);
    const CtlRun noPair = program.ctl({"disconnect", "127.0.0.9"});
    QCOMPARE(noPair.exitCode, 1);
    QVERIFY(noPair.err.contains("127.0.0.9"));

    // A ban refuses the next connection and keeps the open one.
    const QString banFile = program.folder.filePath("ban.dat");
    QCOMPARE(program.ctl({"ban", "127.0.0.3"}).exitCode, 0);
    QCOMPARE(readBytes(banFile), QByteArray("\x7f\x00\x00\x03\x00\x00\x00\x00", 8));
    QVERIFY(isConnected(*clients[1]));
    auto banned = connectClient(port, QHostAddress(QStringLiteral("127.0.0.3")));
    QTRY_COMPARE_WITH_TIMEOUT(banned->state(), QAbstractSocket::UnconnectedState, 5000);
    const CtlRun again = program.ctl({"ban", "127.0.0.3"});
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains(
        QStringLiteral("Ты уже забанил этот IP Адрес теперь тебе нужно отключить его от сервера")));

    // Bad words are named, nothing is sent, nothing changes.
    const QList<QPair<QStringList, QString>> bad = {{{"ban", "127.0.0.256"}, "127.0.0.256"},
                                                    {{"ban", "127.0.0.4", "extra"}, "extra"},
                                                    {{"unban"}, "unban"},
                                                    {{"frob"}, "frob"},
                                                    {{"--colour", "bans"}, "--colour"}};
    for (const auto& [words, named] : bad) {
        const CtlRun run = program.ctl(words);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(named), qPrintable(run.err));
    }
    QCOMPARE(readBytes(banFile), QByteArray("\x7f\x00\x00\x03\x00\x00\x00\x00", 8));
    QCOMPARE(json(program.ctl({"--json", "online"})).array().size(), 2);

    QCOMPARE(program.ctl({"bans"}).out, QStringLiteral("127.0.0.3\n"));
    QCOMPARE(json(program.ctl({"--json", "bans"})).array(), QJsonArray({"127.0.0.3"}));
    QCOMPARE(program.ctl({"unban", "127.0.0.3"}).exitCode, 0);
    // The removed ban stays behind as the spare record.
    QCOMPARE(readBytes(banFile), QByteArray("\x7f\x00\x00\x03", 4));
    QCOMPARE(program.ctl({"unban", "127.0.0.3"}).exitCode, 1);
    QCOMPARE(program.ctl({"bans"}).out, QString());

    if (ipv6LoopbackAvailable()) {
        // An IPv6 session: the client, the online list, a ban in ban6.dat.
        QTcpSocket six;
        six.connectToHost(QHostAddress::LocalHostIPv6, port);
        QVERIFY(roundTrip(six, "hello"));
        QVERIFY(firstColumns(program.ctl({"online"}).out, 1).contains(QStringLiteral("::1")));
        const CtlRun ban6 = program.ctl({"ban", "0:0::0:1"});
        QCOMPARE(ban6.exitCode, 0);
        QCOMPARE(ban6.out, QStringLiteral("::1 banned\n"));
        const QString ban6File = program.folder.filePath("ban6.dat");
        QCOMPARE(readBytes(ban6File), QByteArray(15, '\0') + '\x01');
        QCOMPARE(program.ctl({"bans"}).out, QStringLiteral("::1\n"));
        QTcpSocket refused;
        refused.connectToHost(QHostAddress::LocalHostIPv6, port);
        QTRY_COMPARE_WITH_TIMEOUT(refused.state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(program.ctl({"disconnect", "::1"}).exitCode, 0);
        QCOMPARE(program.ctl({"unban", "::1"}).exitCode, 0);
        QCOMPARE(readBytes(ban6File), QByteArray());
        QCOMPARE(program.ctl({"ban", "1::2::3"}).exitCode, 2);
    } else {
        qInfo("no IPv6 on this machine: ::1 cannot be bound; its part is skipped");
    }

    QCOMPARE(program.ctl({"reload"}).exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(
        program.output.count(QStringLiteral("listening on port %1").arg(port)), 2, 10000);
    QVERIFY(program.printed(QStringLiteral("re-reading config.ini and ban.dat")));

    // Another settings folder has no relay: said at once.
    QTemporaryDir elsewhere;
    QElapsedTimer timer;
    timer.start();
    QProcess lone;
    lone.start(program.folder.filePath("quillet-mirror"),
               {"ctl", "--config-dir", elsewhere.path(), "status"});
    QVERIFY(lone.waitForFinished(10000));
    QCOMPARE(lone.exitCode(), 3);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));

    const QString socket =
        QDir(runtimeFolderPath()).filePath(controlSocketName(program.folder.path()));
    QVERIFY(QFile::exists(socket));
    QVERIFY(program.endsCleanlyOn(SIGTERM));
    QVERIFY(!QFile::exists(socket));
}

void CtlTest::theDesktopProgramAnswers() {
    HeadlessProgram program;
    program.arguments = {};
    QVERIFY(program.install(configFor(freePort(), freePort(), freePort())));
    program.start();
    CtlRun run;
    QVERIFY(QTest::qWaitFor(
        [&] {
            run = program.ctl({"--json", "status"});
            return run.exitCode != 3;
        },
        15000));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(json(run).object().value("listening").toBool(), false);
    const QString socket =
        QDir(runtimeFolderPath()).filePath(controlSocketName(program.folder.path()));
    QVERIFY(program.endsCleanlyOn(SIGTERM));
    QVERIFY(!QFile::exists(socket));
    // Nor the lock: nothing of this folder is left behind.
    QCOMPARE(QDir(runtimeFolderPath())
                 .entryList({QStringLiteral("*%1*").arg(pathIdentity(program.folder.path()))},
                            QDir::System | QDir::Files),
             QStringList());
}

QM_TEST_MAIN_CORE(CtlTest)
#include "ctl_test.moc"
