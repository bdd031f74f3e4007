#include "core/bans/ban_file.h"
#include "core/bans/ip_address.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QTemporaryDir>

using namespace qm;
using namespace qm::test;

class BanFileTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("ban.dat"));
        QFile::remove(m_path);
    }

    void missingFileGivesAnEmptyTableAndStaysMissing() {
        const BanTable table = loadBanFile(m_path);
        QCOMPARE(table.count(), 0);
        QVERIFY(!QFile::exists(m_path));
    }

    void fileOfBadLengthIsDeleted_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("6 bytes") << QByteArray("\xC0\xA8\x00\x01\x00\x00", 6);
        QTest::newRow("9 bytes") << QByteArray(9, '\x01');
    }
    void fileOfBadLengthIsDeleted() {
        QFETCH(QByteArray, bytes);
        QVERIFY(writeBytes(m_path, bytes));
        QCOMPARE(loadBanFile(m_path).count(), 0);
        QVERIFY(!QFile::exists(m_path));
    }

    void fourByteFileIsAnEmptyListAndKept() {
        QVERIFY(writeBytes(m_path, "\x01\x02\x03\x04"));
        const BanTable table = loadBanFile(m_path);
        QCOMPARE(table.count(), 0);
        QVERIFY(!table.contains(0x04030201));
        QCOMPARE(readBytes(m_path), QByteArray("\x01\x02\x03\x04"));
    }

    void recordsAreLittleEndianOctetsInDottedOrder() {
        QVERIFY(
            writeBytes(m_path, QByteArray("\xC0\xA8\x00\x01\x0A\x00\x00\xC8\xFF\xFF\xFF\xFF", 12)));
        const BanTable table = loadBanFile(m_path);
        QCOMPARE(table.count(), 2);
        QCOMPARE(numberToIp(table.at(0)), QStringLiteral("192.168.0.1"));
        QCOMPARE(table.at(1), ipToNumber(u"10.0.0.200"));
        QCOMPARE(table.elements().back(), -1); // the spare, kept but not a ban
        QVERIFY(!table.contains(-1));
    }

    void unreadableFileIsKeptAndGivesAnEmptyTable() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("ban.dat")));
        QCOMPARE(loadBanFile(m_path).count(), 0);
        QVERIFY(QFileInfo(m_path).isDir());
        QVERIFY(QDir(m_dir.path()).rmdir(QStringLiteral("ban.dat")));
    }

    void saveWritesEveryElementWithTheSpare() {
        BanTable table;
        QVERIFY(table.append(ipToNumber(u"192.168.0.1")));
        QVERIFY(saveBanTable(table, m_path));
        QCOMPARE(readBytes(m_path), QByteArray("\xC0\xA8\x00\x01\x00\x00\x00\x00", 8));

        table.setElements({'A', 'B', 'C', 'S'});
        table.remove(0);
        QVERIFY(saveBanTable(table, m_path));
        QCOMPARE(readBytes(m_path), QByteArray("C\0\0\0B\0\0\0C\0\0\0", 12));

        table.setElements({'A', 0});
        table.remove(0);
        QVERIFY(saveBanTable(table, m_path));
        QCOMPARE(readBytes(m_path), QByteArray("A\0\0\0", 4));
        QCOMPARE(loadBanFile(m_path).count(), 0);
        QVERIFY(QFile::exists(m_path));
    }

    void saveAndLoadKeepEveryBan() {
        BanTable table;
        for (qint32 n = -500; n < 500; ++n)
            QVERIFY(table.append(n * 7919));
        QVERIFY(saveBanTable(table, m_path));
        QCOMPARE(loadBanFile(m_path).elements(), table.elements());
    }

    void failedSaveKeepsTheOldFileAndSaysWhy() {
        const QByteArray old("\x01\x02\x03\x04\x00\x00\x00\x00", 8);
        QVERIFY(writeBytes(m_path, old));
        BanTable table;
        for (qint32 n = 1; n <= 1000; ++n)
            QVERIFY(table.append(n));
        QString error;
        {
            const FileSizeLimit diskFull(100);
            QVERIFY(!saveBanTable(table, m_path, &error));
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(readBytes(m_path), old);
        QCOMPARE(entriesOf(m_dir.path()), QStringList{QStringLiteral("ban.dat")});
    }

    void saveIntoAMissingFolderFails() {
        QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("file")), "x"));
        QString error;
        QVERIFY(!saveBanTable(BanTable(), m_dir.filePath(QStringLiteral("file/ban.dat")), &error));
        QVERIFY(!error.isEmpty());
    }
};

QM_TEST_MAIN_CORE(BanFileTest)
#include "ban_file_test.moc"
