// The installed program as an installed copy runs: from a folder it cannot
// write, its settings in the user's folder, or in the folder named by
// --config-dir. Run by install_test.sh with the install's prefix.
#include "support/controller_rig.h"
#include "support/fake_upstream.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

using namespace qm::test;

namespace {

QByteArray configFor(quint16 clientPort, quint16 serverPort) {
    return QStringLiteral("[main]\nClient_Port=%1\nServer_Port=%2\nServer2_Port=%2\n")
        .arg(clientPort)
        .arg(serverPort)
        .toLatin1();
}

// Runs the installed program headless until it listens on port, then ends it.
bool listensThenEnds(const QStringList& arguments, const QString& configHome, quint16 port) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(qEnvironmentVariable("QM_INSTALLED_PREFIX") + "/bin/quillet-mirror",
                  QStringList{QStringLiteral("--headless")} + arguments);
    QString output;
    const QString listening = QStringLiteral("listening on port %1").arg(port);
    const bool listened = QTest::qWaitFor(
        [&] {
            output += QString::fromUtf8(process.readAllStandardOutput());
            return output.contains(listening) || process.state() == QProcess::NotRunning;
        },
        10000);
    process.terminate();
    const bool ended = process.waitForFinished(5000) && process.exitCode() == 0;
    if (!listened || !output.contains(listening) || !ended)
        qWarning().noquote() << "the program printed:" << output;
    return listened && output.contains(listening) && ended;
}

} // namespace

class InstalledProgramTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    FakeUpstream m_server{QHostAddress(QStringLiteral("127.0.0.1"))};

private slots:
    void aReadOnlyInstallKeepsItsSettingsInTheUserFolder() {
        const QString bin = qEnvironmentVariable("QM_INSTALLED_PREFIX") + "/bin";
        const quint16 port = freePort();
        // An administrator's file beside the executable seeds the user's folder.
        QVERIFY(writeBytes(bin + "/config.ini", configFor(port, m_server.port())));
        const auto permissions = QFile::permissions(bin);
        QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                               QFile::ExeOther));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(bin, permissions);
            QFile::remove(bin + "/config.ini");
        });

        QVERIFY(listensThenEnds({}, m_dir.filePath("home"), port));
        const QByteArray saved = readBytes(m_dir.filePath("home/quillet-mirror/config.ini"));
        QVERIFY2(saved.contains(" " + QByteArray::number(port) + "\n"), saved.constData());
        QCOMPARE(readBytes(bin + "/config.ini"), configFor(port, m_server.port()));
        QVERIFY(!QFileInfo::exists(bin + "/ban.dat"));
    }

    void aChosenFolderHoldsTheSettings() {
        const QString chosen = m_dir.filePath("chosen");
        const quint16 port = freePort();
        QVERIFY(QDir().mkpath(chosen));
        QVERIFY(writeBytes(chosen + "/config.ini", configFor(port, m_server.port())));

        QVERIFY(listensThenEnds({"--config-dir", chosen}, m_dir.filePath("other"), port));
        QVERIFY(
            readBytes(chosen + "/config.ini").contains("Client_Port= " + QByteArray::number(port)));
        QVERIFY(!QFileInfo::exists(m_dir.filePath("other")));
    }
};

QM_TEST_MAIN_CORE(InstalledProgramTest)
#include "installed_program_test.moc"
