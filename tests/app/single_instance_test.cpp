#include "app/single_instance.h"
#include "core/runtime_folder.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QDateTime>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

// A pid beyond the kernel's limit belongs to no process.
constexpr qint64 DeadPid = 2000000000;

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_program;
    QString m_copy;
    QString m_locks;

    // Runs the holder in another process; returns its first line.
    QByteArray startHolder(QProcess& holder, const QString& program) {
        holder.start(QStringLiteral(SINGLE_INSTANCE_HOLDER), {program, m_locks});
        if (!holder.waitForReadyRead(10000))
            return {};
        return holder.readLine().trimmed();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("a")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("b")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("locks")));
        m_program = m_dir.filePath(QStringLiteral("a/quillet-mirror"));
        m_copy = m_dir.filePath(QStringLiteral("b/quillet-mirror"));
        m_locks = m_dir.filePath(QStringLiteral("locks"));
        QVERIFY(writeBytes(m_program, "program"));
        QVERIFY(writeBytes(m_copy, "program"));
    }

    void secondStartOfTheSameFileIsRefused() {
        SingleInstance first(m_program, m_locks);
        QVERIFY(first.tryLock());
        SingleInstance second(m_program, m_locks);
        QVERIFY(!second.tryLock());
        // The same file reached through another spelling of its path.
        SingleInstance viaDots(m_dir.filePath(QStringLiteral("b/../a/./quillet-mirror")), m_locks);
        QVERIFY(!viaDots.tryLock());
    }

    void aSymlinkToTheProgramIsTheSameProgram() {
        const QString link = m_dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(m_program, link));
        SingleInstance first(m_program, m_locks);
        QVERIFY(first.tryLock());
        QVERIFY(!SingleInstance(link, m_locks).tryLock());
    }

    void aCopyInAnotherFolderRuns() {
        SingleInstance first(m_program, m_locks);
        QVERIFY(first.tryLock());
        SingleInstance copy(m_copy, m_locks);
        QVERIFY(copy.tryLock());
    }

    void theLockIsFreedWhenTheInstanceEnds() {
        {
            SingleInstance first(m_program, m_locks);
            QVERIFY(first.tryLock());
        }
        SingleInstance next(m_program, m_locks);
        QVERIFY(next.tryLock());
    }

    void lockOfADeadProcessIsTakenOver() {
        const QString lockPath = SingleInstance(m_program, m_locks).lockFilePath();
        QVERIFY(writeBytes(lockPath, QByteArray::number(DeadPid) + "\nquillet-mirror\n\n"));
        SingleInstance next(m_program, m_locks);
        QVERIFY(next.tryLock());
    }

    void anOldLockOfALiveInstanceStillHolds() {
        SingleInstance first(m_program, m_locks);
        QVERIFY(first.tryLock());
        QFile lock(first.lockFilePath());
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                 QFileDevice::FileModificationTime));
        lock.close();
        QVERIFY(!SingleInstance(m_program, m_locks).tryLock());
    }

    void anotherProcessHoldsTheLockUntilItIsKilled() {
        QProcess holder;
        QCOMPARE(startHolder(holder, m_program), QByteArray("locked"));
        QVERIFY(!SingleInstance(m_program, m_locks).tryLock());

        QProcess second;
        QCOMPARE(startHolder(second, m_program), QByteArray("busy"));
        QVERIFY(second.waitForFinished(10000));

        holder.kill(); // no chance to remove its lock file
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY(QFile::exists(SingleInstance(m_program, m_locks).lockFilePath()));
        SingleInstance next(m_program, m_locks);
        QVERIFY(next.tryLock());
    }

    // The service's folder first, then the session's, then one of this user's
    // own in /tmp; each is narrowed to its owner, and the control socket of a
    // settings folder is looked for there, then in the service's folder.
    void locksLiveInThePrivateRuntimeFolder() {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray service = qgetenv("RUNTIME_DIRECTORY");
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", runtime);
            qputenv("RUNTIME_DIRECTORY", service);
        });
        const QString serviceFolder = m_dir.filePath(QStringLiteral("service"));
        QVERIFY(QDir().mkpath(serviceFolder));
        qputenv("RUNTIME_DIRECTORY", serviceFolder.toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_locks.toLocal8Bit());
        QCOMPARE(SingleInstance::defaultLockFolder(), serviceFolder);
        QCOMPARE(QFileInfo(serviceFolder).permissions() & 0x0777,
                 QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        qunsetenv("RUNTIME_DIRECTORY");
        const QString own = m_locks + QStringLiteral("/quillet-mirror");
        QCOMPARE(SingleInstance::defaultLockFolder(), own);
        QCOMPARE(QFileInfo(own).permissions() & 0x0777,
                 QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(controlSocketCandidates(m_program),
                 QStringList({own + "/" + controlSocketName(m_program),
                              "/run/quillet-mirror/" + controlSocketName(m_program)}));
        qputenv("XDG_RUNTIME_DIR", m_dir.filePath(QStringLiteral("gone")).toLocal8Bit());
        QCOMPARE(SingleInstance::defaultLockFolder(),
                 QDir::tempPath() + QStringLiteral("/quillet-mirror-%1").arg(getuid()));
        // A link put in its place by someone else is not used.
        const QString link = m_dir.filePath(QStringLiteral("link-runtime"));
        QVERIFY(QFile::link(m_locks, link));
        qputenv("RUNTIME_DIRECTORY", link.toLocal8Bit());
        QVERIFY(prepareRuntimeFolder().isEmpty());
    }

    void aStartGoesOnWhenNoLockCanBeMade() {
        SingleInstance instance(m_program, m_dir.filePath(QStringLiteral("no/such/folder")));
        QVERIFY(instance.tryLock());
    }
};

QM_TEST_MAIN_CORE(SingleInstanceTest)
#include "single_instance_test.moc"
