// Where config.ini and ban.dat live: beside a portable copy, in the user's
// folder for an installed one (seeded once from the program's folder), or in
// a folder named outright.
#include "core/program_folder.h"
#include "core/settings_folder.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QScopeGuard>
#include <QTemporaryDir>

#include <unistd.h>

using namespace qm;
using namespace qm::test;

class SettingsFolderTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(path("prefix/bin")));
    }

    void aWritableCopyKeepsItsFilesBesideIt() {
        QCOMPARE(locateSettingsFolder(path("prefix/bin"), path("user")), path("prefix/bin"));
        QVERIFY(!QFileInfo::exists(path("user")));
    }

    void anInstalledCopyUsesTheUserFolderSeededOnce() {
        QVERIFY(QDir().mkpath(path("prefix/share/applications")));
        QVERIFY(writeBytes(path("prefix/share/applications/quillet-mirror.desktop"), "x"));
        QVERIFY(writeBytes(path("prefix/bin/config.ini"), "[main]\nClient_Port=40000\n"));
        QVERIFY(writeBytes(path("prefix/bin/ban.dat"), QByteArray(8, '\1')));
        QFile::setPermissions(path("prefix/bin/config.ini"), QFile::ReadOwner | QFile::ReadOther);

        const QString user = path("user/quillet-mirror");
        QCOMPARE(locateSettingsFolder(path("prefix/bin"), user), user);
        QCOMPARE(readBytes(configPath(user)), QByteArray("[main]\nClient_Port=40000\n"));
        QCOMPARE(readBytes(banFilePath(user)), QByteArray(8, '\1'));
        QVERIFY(QFile::permissions(configPath(user)) & QFile::WriteOwner);

        // Later starts keep the user's own files, even with one of them gone.
        QVERIFY(QFile::remove(banFilePath(user)));
        QVERIFY(writeBytes(configPath(user), "mine"));
        QCOMPARE(locateSettingsFolder(path("prefix/bin"), user), user);
        QCOMPARE(readBytes(configPath(user)), QByteArray("mine"));
        QVERIFY(!QFileInfo::exists(banFilePath(user)));
    }

    void aReadOnlyFolderIsPortableOnlyWithWritableFiles() {
        if (geteuid() == 0)
            QSKIP("root writes to read-only folders");
        const QString bin = path("prefix/bin");
        QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        QCOMPARE(locateSettingsFolder(bin, path("user")), path("user"));
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(writeBytes(banFilePath(bin), QByteArray(4, '\0')));
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(locateSettingsFolder(bin, path("user")), bin);
    }

    void aChosenFolderIsMadeOrRefusedWithItsReason() {
        const SettingsFolder made = prepareChosenFolder(path("a/b/c"));
        QCOMPARE(made.path, path("a/b/c"));
        QVERIFY(QFileInfo(made.path).isDir());

        QVERIFY(writeBytes(path("file"), "x"));
        const SettingsFolder refused = prepareChosenFolder(path("file"));
        QVERIFY(refused.path.isEmpty());
        QCOMPARE(refused.error, path("file") + " is not a folder");
        QVERIFY(prepareChosenFolder(path("file/below")).path.isEmpty());
    }
};

QM_TEST_MAIN_CORE(SettingsFolderTest)
#include "settings_folder_test.moc"
