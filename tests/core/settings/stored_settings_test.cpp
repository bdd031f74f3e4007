#include "core/program_folder.h"
#include "core/settings/stored_settings.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QTemporaryDir>

using namespace qm;
using namespace qm::test;

namespace {

AppliedSettings defaultsApplied() {
    AppliedSettings s;
    s.clientPort = 9730;
    s.serverHost = QStringLiteral("127.0.0.1");
    s.serverPort = 9730;
    s.server2Host = QStringLiteral("127.0.0.2");
    s.server2Port = 9730;
    return s;
}

} // namespace

class StoredSettingsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = configPath(m_dir.path());
        QFile::remove(m_path);
    }

    void missingFileGivesTheDefaultBoxes() {
        QCOMPARE(readSettingBoxes(m_path), SettingBoxes());
        QVERIFY(!QFile::exists(m_path));
    }

    void usableValuesReplaceTheDefaults() {
        QVERIFY(writeBytes(m_path, "[main]\r\n"
                                   "Client_Port= 40000\r\n"
                                   "Server_Port=-5\r\n"
                                   "Server_IP=relay.example\r\n"
                                   "Server2_Port=70000.5\r\n"
                                   "Server2_IP=10.0.0.9\r\n"
                                   "Auto_Start= 1.4\r\n"));
        SettingBoxes expected;
        expected.clientPort = QStringLiteral("40000");
        expected.serverPort = QStringLiteral("-5");
        expected.serverHost = QStringLiteral("relay.example");
        expected.server2Port = QStringLiteral("70000");
        expected.server2Host = QStringLiteral("10.0.0.9");
        expected.autoStart = 1;
        QCOMPARE(readSettingBoxes(m_path), expected);
    }

    void unusableValuesKeepTheDefaults() {
        // NUL bytes in values, as a damaged file may hold them.
        static constexpr char content[] = "[main]\n"
                                          "Client_Port=0\n"
                                          "Server_Port=abc\n"
                                          "Server_IP=\n"
                                          "Server2_IP=10.0.0.9\0junk\n"
                                          "Server2_Port=97\0"
                                          "30\n"
                                          "Auto_Start=40000\n";
        QVERIFY(writeBytes(m_path, QByteArray(content, sizeof(content) - 1)));
        QCOMPARE(readSettingBoxes(m_path), SettingBoxes());
    }

    void relaySectionIsReadInTheSamePassWhereverItStands() {
        QVERIFY(writeBytes(m_path, "[Relay]\nconnections_per_ip= 7\n[main]\nClient_Port=1234\n"
                                   "[relay]\nConnects_Per_IP_Per_Second=9\n"));
        RelayOptions relay;
        QStringList ignored;
        QCOMPARE(readSettingBoxes(m_path, &ignored, &relay).clientPort, QStringLiteral("1234"));
        // The first section of the name counts, names match without regard to case.
        QCOMPARE(relay, (RelayOptions{7, 0}));
        QVERIFY(ignored.isEmpty());

        QVERIFY(writeBytes(m_path, "[main]\nClient_Port=1234\n[relay]\nConnections_Per_IP=-1\n"
                                   "Connects_Per_IP_Per_Second=99999999\n"));
        QCOMPARE(readSettingBoxes(m_path, &ignored, &relay).clientPort, QStringLiteral("1234"));
        QCOMPARE(relay.connectionsPerIp, 0);
        QVERIFY(relay.connectsPerIpPerSecond > 0); // capped by the engine, not here
        QCOMPARE(ignored, QStringList{QStringLiteral("Connections_Per_IP=-1")});
    }

    void firstStartWritesTheDefaultFile() {
        QVERIFY(writeAppliedSettings(defaultsApplied(), m_path));
        QCOMPARE(readBytes(m_path), QByteArray("[main]\n"
                                               "Auto_Start= 0\n"
                                               "Client_Port= 9730\n"
                                               "Server_IP=127.0.0.1\n"
                                               "Server_Port= 9730\n"
                                               "Server2_IP=127.0.0.2\n"
                                               "Server2_Port= 9730\n"));
        QCOMPARE(readSettingBoxes(m_path), SettingBoxes());
    }

    void laterStartsRewriteValuesInPlace() {
        QVERIFY(writeBytes(m_path, "# mine\r\n"
                                   "[MAIN]\r\n"
                                   "Server_IP=old\r\n"
                                   "auto_start=5\r\n"
                                   "[extra]\r\n"
                                   "x=y\r\n"));
        AppliedSettings applied = defaultsApplied();
        applied.autoStart = 5;
        applied.clientPort = 9730.5f;
        applied.serverHost = QStringLiteral("new host");
        QVERIFY(writeAppliedSettings(applied, m_path));
        QCOMPARE(readBytes(m_path), QByteArray("# mine\r\n"
                                               "[MAIN]\r\n"
                                               "Server_IP=new host\r\n"
                                               "auto_start= 5\r\n"
                                               "Client_Port= 9730.5\r\n"
                                               "Server_Port= 9730\r\n"
                                               "Server2_IP=127.0.0.2\r\n"
                                               "Server2_Port= 9730\r\n"
                                               "[extra]\r\n"
                                               "x=y\r\n"));
        QCOMPARE(readSettingBoxes(m_path).clientPort, QStringLiteral("9730"));
    }

    void aFailedWriteIsReportedAndKeepsTheOldFile() {
        const QByteArray old = "[main]\nClient_Port= 1\n";
        QVERIFY(writeBytes(m_path, old));
        {
            const FileSizeLimit diskFull(old.size());
            QVERIFY(!writeAppliedSettings(defaultsApplied(), m_path));
        }
        QCOMPARE(readBytes(m_path), old);
        QVERIFY(!writeAppliedSettings(defaultsApplied(),
                                      configPath(m_dir.filePath(QStringLiteral("config.ini")))));
    }

    void theProgramFolderIsTheExecutablesNotTheWorkingFolder() {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const QString folder = programFolder();
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(folder, QFileInfo(QCoreApplication::applicationFilePath()).absolutePath());
        QCOMPARE(banFilePath(folder), folder + QStringLiteral("/ban.dat"));
    }
};

QM_TEST_MAIN_CORE(StoredSettingsTest)
#include "stored_settings_test.moc"
