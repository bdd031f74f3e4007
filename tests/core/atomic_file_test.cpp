#include "core/atomic_file.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using namespace qm;
using namespace qm::test;

class AtomicFileTest : public QObject {
    Q_OBJECT
private slots:
    void replacingKeepsPermissionsAndFollowsLinks() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("data"));
        const QString link = dir.filePath(QStringLiteral("link"));
        QVERIFY(writeBytes(target, "old"));
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0640) == 0);
        QVERIFY(QFile::link(target, link));

        QVERIFY(writeFileAtomically(link, "new"));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("new"));
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(target).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
        QCOMPARE(entriesOf(dir.path()),
                 (QStringList{QStringLiteral("data"), QStringLiteral("link")}));
    }

    void aNewFileFollowsTheUmask() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("fresh"));
        const mode_t oldMask = ::umask(027);
        const bool written = writeFileAtomically(path, "x");
        ::umask(oldMask);
        QVERIFY(written);
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
    }

    void aFolderInTheWayIsAnError() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString error;
        QVERIFY(!writeFileAtomically(dir.path(), "x", &error));
        QVERIFY(error.contains(dir.path()));
    }
};

QM_TEST_MAIN_CORE(AtomicFileTest)
#include "atomic_file_test.moc"
