#pragma once

#include "support/controller_rig.h"
#include "support/fake_upstream.h"
#include "support/file_helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <sys/resource.h>

namespace qm::test {

// The headless program always binds the fixed upstream datagram port.
constexpr quint16 FixedDatagramPort = 44786;

// What one run of "quillet-mirror ctl" gave.
struct CtlRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The program copied into a folder of its own, with its settings beside it;
// headless unless arguments say otherwise.
class HeadlessProgram {
public:
    bool install(const QByteArray& config, const QByteArray& bans = {}) {
        const QString built = qEnvironmentVariable("QM_TEST_BINARY_DIR") + "/quillet-mirror";
        const QString copy = folder.filePath(QStringLiteral("quillet-mirror"));
        return QFile::copy(built, copy) && writeBytes(folder.filePath("config.ini"), config) &&
               (bans.isEmpty() || writeBytes(folder.filePath("ban.dat"), bans));
    }

    void start(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { output += QString::fromUtf8(process.readAllStandardOutput()); });
        process.setProgram(folder.filePath(QStringLiteral("quillet-mirror")));
        process.setArguments(arguments);
        process.setWorkingDirectory(QDir::tempPath()); // never the program's folder
        if (descriptorLimit > 0)
            process.setChildProcessModifier([limit = rlim_t(descriptorLimit)] {
                const rlimit squeezed{limit, limit};
                setrlimit(RLIMIT_NOFILE, &squeezed);
            });
        process.start();
    }

    bool printed(const QString& line) const { return output.split('\n').contains(line); }

    // Sends the signal and waits, events still served, for a clean end with code 0.
    bool endsCleanlyOn(int signalNumber) {
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
        return QTest::qWaitFor([this] { return process.state() == QProcess::NotRunning; }, 5000) &&
               process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // "ctl --config-dir <its folder> words", events served while it runs.
    CtlRun ctl(const QStringList& words) const {
        QProcess run;
        run.start(
            folder.filePath(QStringLiteral("quillet-mirror")),
            QStringList{QStringLiteral("ctl"), QStringLiteral("--config-dir"), folder.path()} +
                words);
        if (!QTest::qWaitFor([&run] { return run.state() == QProcess::NotRunning; }, 15000))
            run.kill();
        run.waitForFinished(1000);
        return {run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1,
                QString::fromLocal8Bit(run.readAllStandardOutput()),
                QString::fromLocal8Bit(run.readAllStandardError())};
    }

    QStringList arguments{QStringLiteral("--headless")};
    QTemporaryDir folder;
    int descriptorLimit = 0; // soft and hard, when set
    QProcess process;
    QString output;
};

inline QByteArray configFor(quint16 clientPort, quint16 serverPort, quint16 server2Port) {
    return QStringLiteral("[main]\nAuto_Start=0\nClient_Port=%1\nServer_IP=127.0.0.1\n"
                          "Server_Port=%2\nServer2_IP=127.0.0.2\nServer2_Port=%3\n")
        .arg(clientPort)
        .arg(serverPort)
        .arg(server2Port)
        .toLatin1();
}

inline bool fixedDatagramPortFree() {
    QUdpSocket probe;
    return probe.bind(QHostAddress::AnyIPv4, FixedDatagramPort, QAbstractSocket::DontShareAddress);
}

// The program installed in front of a fake server on 127.0.0.1 (server 2
// answers nowhere), on a free client port; not started.
struct InstalledRelay {
    FakeUpstream server{QHostAddress(QStringLiteral("127.0.0.1"))};
    quint16 port = freePort();
    HeadlessProgram program;
    bool installed = program.install(configFor(port, server.port(), freePort()));
};

} // namespace qm::test
