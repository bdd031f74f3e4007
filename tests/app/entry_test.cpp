// The desktop program as a process: one instance per executable, and a start
// without any display, which points to the headless relay.
#include "app/command_line.h"
#include "support/controller_rig.h"
#include "support/fake_upstream.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

using namespace qm::test;

namespace {

const QByteArray DamagedBanFile("\x01\x02\x03\x04\x05\x06", 6); // deleted by a start

// A copy of the built program alone in a temporary folder.
class ProgramCopy {
public:
    ProgramCopy() {
        const QString built =
            qEnvironmentVariable("QM_TEST_BINARY_DIR") + QStringLiteral("/quillet-mirror");
        m_ready = m_dir.isValid() && QFile::copy(built, program());
    }
    bool isReady() const { return m_ready; }
    QString program() const { return m_dir.filePath(QStringLiteral("quillet-mirror")); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    std::unique_ptr<QProcess> start(const QProcessEnvironment& environment = offscreen()) const {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(QDir::tempPath()); // the folder comes from the path
        process->start(program(), QStringList());
        return process;
    }

    static QProcessEnvironment offscreen() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }

private:
    QTemporaryDir m_dir;
    bool m_ready = false;
};

bool finishes(QProcess& process, int timeoutMs) {
    if (process.state() == QProcess::NotRunning)
        return true;
    QSignalSpy finished(&process, &QProcess::finished);
    return finished.wait(timeoutMs);
}

void stop(QProcess& process) {
    process.terminate();
    if (!finishes(process, 5000)) {
        process.kill();
        finishes(process, 5000);
    }
}

} // namespace

class EntryTest : public QObject {
    Q_OBJECT
private slots:
    void secondStartEndsAtOnceWithoutOpeningBanFile() {
        ProgramCopy copy;
        QVERIFY(copy.isReady());
        const QString banFile = copy.file(QStringLiteral("ban.dat"));
        QVERIFY(writeBytes(banFile, DamagedBanFile));

        auto first = copy.start();
        QVERIFY(first->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(banFile), 10000); // the first one loaded it

        QVERIFY(writeBytes(banFile, DamagedBanFile));
        auto second = copy.start();
        QVERIFY(finishes(*second, 10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(readBytes(banFile), DamagedBanFile);
        QCOMPARE(first->state(), QProcess::Running);

        // A killed instance leaves its lock behind; the next start runs all the same.
        first->kill();
        QVERIFY(finishes(*first, 5000));
        auto third = copy.start();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(banFile), 10000);
        QCOMPARE(third->state(), QProcess::Running);
        stop(*third);
    }

    // Over SSH a program without windows would only seem to hang.
    void startWithoutAnyDisplayPointsToTheHeadlessRelay() {
        ProgramCopy copy;
        QVERIFY(copy.isReady());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        auto program = copy.start(environment);
        QVERIFY(finishes(*program, 10000));
        QCOMPARE(program->exitCode(), int(qm::ExitNoDisplay));
        const QList<QByteArray> lines = program->readAllStandardError().trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().contains("quillet-mirrord"));
        QVERIFY(!QFile::exists(copy.file(QStringLiteral("config.ini"))));
    }
};

QM_TEST_MAIN(EntryTest)
#include "entry_test.moc"
