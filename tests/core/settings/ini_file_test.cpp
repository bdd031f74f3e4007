#include "core/settings/ini_file.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace qm;
using namespace qm::test;

class IniFileTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    static bool resetPeakMemory() {
        QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
        return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
    }
    static qint64 memoryKiB(const char* field) {
        for (const QByteArray& line : readBytes(QStringLiteral("/proc/self/status")).split('\n'))
            if (line.startsWith(field))
                return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
        return -1;
    }
    QString m_path;

    QString read(const QString& key, const QString& section = QStringLiteral("main")) {
        return readIniValue(section, key, m_path);
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("config.ini"));
        QFile::remove(m_path);
    }

    void readsKeysOfTheRightSection() {
        QVERIFY(writeBytes(m_path, "Client_Port=1\n"
                                   "[other]\n"
                                   "Client_Port=2\n"
                                   "  [ MAIN ]  \n"
                                   "; Client_Port=3\n"
                                   "client_port = 4\n"
                                   "Client_Port=5\n"
                                   "Server_IP=  host name  \n"
                                   "Empty=\n"
                                   "[main]\n"
                                   "Late=6\n"));
        QCOMPARE(read(QStringLiteral("CLIENT_PORT")), QStringLiteral("4"));
        QCOMPARE(read(QStringLiteral("Client_Port"), QStringLiteral("other")), QStringLiteral("2"));
        QCOMPARE(read(QStringLiteral("Server_IP")), QStringLiteral("host name"));
        QCOMPARE(read(QStringLiteral("Empty")), QString());
        QCOMPARE(read(QStringLiteral("Missing")), QString());
        QCOMPARE(read(QStringLiteral("Late")), QString()); // only the first [main] counts
        QCOMPARE(read(QStringLiteral("Client_Port"), QStringLiteral("none")), QString());
        QCOMPARE(readIniValue(QStringLiteral("main"), QStringLiteral("Client_Port"),
                              m_dir.filePath(QStringLiteral("absent.ini"))),
                 QString());
    }

    void readsWindowsLineEndingsAndSingleByteText() {
        QVERIFY(writeBytes(m_path, "[main]\r\nServer_IP=caf\xE9\r\nClient_Port= 9730\r\n"));
        QCOMPARE(read(QStringLiteral("Server_IP")), QStringLiteral("caf\u00E9"));
        QCOMPARE(read(QStringLiteral("Client_Port")), QStringLiteral("9730"));
    }

    void longValuesAreCutTo254Characters() {
        const QByteArray value(300, 'v');
        QVERIFY(writeBytes(m_path, "[main]\nServer_IP=" + value + "\n"));
        QCOMPARE(read(QStringLiteral("Server_IP")), QString(254, u'v'));
    }

    void writingCreatesTheFileWithLineFeeds() {
        QVERIFY(writeIniValue(QStringLiteral("main"), QStringLiteral("Client_Port"),
                              QStringLiteral(" 9730"), m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[main]\nClient_Port= 9730\n"));
    }

    void writingChangesOnlyTheValue() {
        const QByteArray before = "; settings\r\n"
                                  "[other]\r\n"
                                  "Key=x\r\n"
                                  "[Main]\r\n"
                                  "  client_PORT  = 1 ; old\r\n"
                                  "Server_IP=a\r\n"
                                  "[last]\r\n"
                                  "junk line without equals\r\n";
        QVERIFY(writeBytes(m_path, before));
        QVERIFY(writeIniValue(QStringLiteral("main"), QStringLiteral("Client_Port"),
                              QStringLiteral(" 40000"), m_path));
        QCOMPARE(readBytes(m_path), QByteArray("; settings\r\n"
                                               "[other]\r\n"
                                               "Key=x\r\n"
                                               "[Main]\r\n"
                                               "  client_PORT  = 40000\r\n"
                                               "Server_IP=a\r\n"
                                               "[last]\r\n"
                                               "junk line without equals\r\n"));
    }

    void newKeysGoAfterTheSectionsLastLine() {
        QVERIFY(writeBytes(m_path, "[main]\nA=1\n\n\n[other]\nB=2"));
        QVERIFY(writeIniValue(QStringLiteral("main"), QStringLiteral("New"), QStringLiteral("n"),
                              m_path));
        QVERIFY(writeIniValue(QStringLiteral("other"), QStringLiteral("C"), QStringLiteral("3"),
                              m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[main]\nA=1\nNew=n\n\n\n[other]\nB=2\nC=3\n"));
    }

    void newSectionsGoAtTheEnd() {
        QVERIFY(writeBytes(m_path, "[other]\r\nB=2"));
        QVERIFY(writeIniValues(QStringLiteral("main"),
                               {{QStringLiteral("A"), QStringLiteral("1")},
                                {QStringLiteral("B"), QStringLiteral("2")},
                                {QStringLiteral("a"), QStringLiteral("3")}},
                               m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[other]\r\nB=2\r\n[main]\r\nA=3\r\nB=2\r\n"));
    }

    void aByteOrderMarkIsSkippedAndKept() {
        QVERIFY(writeBytes(m_path, "\xEF\xBB\xBF[main]\r\nClient_Port= 40000\r\n"));
        QCOMPARE(read(QStringLiteral("Client_Port")), QStringLiteral("40000"));
        QVERIFY(writeIniValues(QStringLiteral("main"),
                               {{QStringLiteral("Client_Port"), QStringLiteral(" 1")},
                                {QStringLiteral("Auto_Start"), QStringLiteral(" 0")}},
                               m_path));
        QCOMPARE(readBytes(m_path),
                 QByteArray("\xEF\xBB\xBF[main]\r\nClient_Port= 1\r\nAuto_Start= 0\r\n"));
    }

    void manyEmptyLinesCostNoMoreThanTheFile() {
        // 16 MiB less a little of empty lines, the key last; written in pieces so
        // that only reading and writing the key file count towards the peak.
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("[main]\n") > 0);
        const QByteArray empty(1024 * 1024, '\n');
        for (int i = 0; i < 15; ++i)
            QVERIFY(file.write(empty) == empty.size());
        QVERIFY(file.write("A=1\n") > 0);
        file.close();
        QVERIFY(resetPeakMemory());
        const qint64 before = memoryKiB("VmRSS:");
        QCOMPARE(read(QStringLiteral("A")), QStringLiteral("1"));
        QVERIFY(writeIniValue(QStringLiteral("main"), QStringLiteral("A"), QStringLiteral("2"),
                              m_path));
        QCOMPARE(read(QStringLiteral("A")), QStringLiteral("2"));
        // A table of its lines would take hundreds of MiB.
        QCOMPARE_LT(memoryKiB("VmHWM:") - before, 128 * 1024);
    }

    void namesAndValuesThatCannotBeStoredAreRefused() {
        QVERIFY(writeBytes(m_path, "[main]\nA=1\n"));
        const QString main = QStringLiteral("main");
        QVERIFY(!writeIniValue(main, QStringLiteral("A"), QStringLiteral("x\n[evil]"), m_path));
        QVERIFY(!writeIniValue(main, QStringLiteral("A"), QStringLiteral("x\ry"), m_path));
        QVERIFY(!writeIniValue(main, QStringLiteral("A=B"), QStringLiteral("x"), m_path));
        QVERIFY(!writeIniValue(main, QString(), QStringLiteral("x"), m_path));
        QVERIFY(!writeIniValue(main, QStringLiteral(" A"), QStringLiteral("x"), m_path));
        QVERIFY(!writeIniValue(QStringLiteral("a]b"), QStringLiteral("A"), QStringLiteral("x"),
                               m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[main]\nA=1\n"));
    }

    void writtenValuesReadBack() {
        const QString values[] = {QStringLiteral("plain"), QString(254, u'x'),
                                  QStringLiteral("\u00FF\u00E9;=[]\"quoted\""),
                                  QStringLiteral("a\0b"), QString()};
        for (const QString& value : values) {
            QVERIFY(writeIniValue(QStringLiteral("main"), QStringLiteral("K"), value, m_path));
            QCOMPARE(read(QStringLiteral("K")), value);
        }
        // Outside single-byte text: stored as "?"
        QVERIFY(writeIniValue(QStringLiteral("main"), QStringLiteral("K"),
                              QStringLiteral("\u0416x"), m_path));
        QCOMPARE(read(QStringLiteral("K")), QStringLiteral("?x"));
    }

    void badFilesGiveEmptyValuesWithoutHanging() {
        // Binary garbage with an embedded section header still parses in bounded time.
        QByteArray garbage(10 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator random(42);
        for (char& byte : garbage)
            byte = static_cast<char>(random.bounded(256));
        QVERIFY(writeBytes(m_path, garbage));
        QCOMPARE(read(QStringLiteral("Client_Port")), QString());
        QVERIFY(writeIniValue(QStringLiteral("main"), QStringLiteral("Client_Port"),
                              QStringLiteral(" 1"), m_path));
        QCOMPARE(read(QStringLiteral("Client_Port")), QStringLiteral("1"));
        QCOMPARE(readBytes(m_path).left(garbage.size()), garbage);

        QVERIFY(writeBytes(m_path, "[main]\nClient_Port=" + QByteArray(100000, '7') + "\n"));
        QCOMPARE(read(QStringLiteral("Client_Port")).size(), 254);

        QVERIFY(writeBytes(m_path, QByteArray(100000, '[')));
        QCOMPARE(read(QStringLiteral("Client_Port")), QString());
    }

    void aFolderIsNeitherReadNorReplaced() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("config.ini")));
        QCOMPARE(read(QStringLiteral("Client_Port")), QString());
        QVERIFY(!writeIniValue(QStringLiteral("main"), QStringLiteral("A"), QStringLiteral("1"),
                               m_path));
        QVERIFY(QFileInfo(m_path).isDir());
        QVERIFY(QDir(m_dir.path()).rmdir(QStringLiteral("config.ini")));
    }

    void oversizedFilesAreLeftAlone() {
        const QByteArray huge = "[main]\nA=1\n" + QByteArray(17 * 1024 * 1024, '\n');
        QVERIFY(writeBytes(m_path, huge));
        QCOMPARE(read(QStringLiteral("A")), QString());
        QVERIFY(!writeIniValue(QStringLiteral("main"), QStringLiteral("A"), QStringLiteral("2"),
                               m_path));
        QCOMPARE(QFileInfo(m_path).size(), huge.size());
    }

    void aFailedWriteKeepsTheOldFile() {
        const QByteArray old = "[main]\nA=1\n";
        QVERIFY(writeBytes(m_path, old));
        {
            const FileSizeLimit diskFull(old.size() + 4);
            QVERIFY(!writeIniValue(QStringLiteral("main"), QStringLiteral("A"), QString(100, u'2'),
                                   m_path));
        }
        QCOMPARE(readBytes(m_path), old);
        QCOMPARE(entriesOf(m_dir.path()), QStringList{QStringLiteral("config.ini")});
    }
};

QM_TEST_MAIN_CORE(IniFileTest)
#include "ini_file_test.moc"
