// The main window as a view of the relay controller: load, automatic start,
// apply and restart, and the online label.
#include "controls/button/vista_button.h"
#include "controls/tray/tray_area.h"
#include "main_window_rig.h"
#include "support/fake_upstream.h"
#include "support/file_helpers.h"
#include "support/test_main.h"
#include "support/top_levels.h"
#include "ui/online/online_list_window.h"

#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>

using namespace qm;
using namespace qm::test;

namespace {

const QColor Reachable(31, 65, 16);
const QColor Unreachable(162, 19, 51);

QByteArray configFor(int autoStart, quint16 clientPort, const FakeUpstream& server) {
    return QStringLiteral("[main]\nAuto_Start=%1\nClient_Port=%2\nServer_IP=%3\nServer_Port=%4\n"
                          "Server2_IP=%3\nServer2_Port=%4\n")
        .arg(autoStart)
        .arg(clientPort)
        .arg(server.host())
        .arg(server.port())
        .toUtf8();
}

// Both servers of the boxes are the given fake upstream.
SettingBoxes boxesFor(quint16 clientPort, const FakeUpstream& server) {
    return qm::test::boxesFor(clientPort, server.host(), server.port(), server.host(),
                              server.port());
}

bool clickApplyAndWait(MainWindowRig& main) {
    QSignalSpy finished(main.rig.controller.get(), &RelayController::startFinished);
    QTest::mouseClick(main.control<VistaButton>("Label3"), Qt::LeftButton);
    return !finished.isEmpty() || finished.wait(5000);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void loadsDefaultsWithoutConfigFile() {
        MainWindowRig main;
        MainWindow* window = main.open();

        QCOMPARE(window->size(), QSize(307, 198));
        QCOMPARE(window->windowTitle(), QStringLiteral("Quillet mirror"));
        QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!window->startHidden());
        QCOMPARE(main.boxTexts(), QStringList({"9730", "127.0.0.1", "9730", "127.0.0.2", "9730"}));
        for (const char* name : MainWindowRig::BoxNames) {
            QCOMPARE(main.box(name)->palette().color(QPalette::Base), QColor(Qt::black));
            QCOMPARE(textColour(main.box(name)), QColor(Qt::white));
        }
        QCOMPARE(main.box("Text2")->geometry(), QRect(144, 72, 81, 19));
        QCOMPARE(main.control<VistaButton>("Label3")->geometry(), QRect(152, 168, 141, 21));

        QVERIFY(main.control<QRadioButton>("Option1")->isChecked());
        QVERIFY(!main.control<QRadioButton>("Option2")->isChecked());
        QVERIFY(main.rig.controller->preferServer1());
        QTest::mouseClick(main.control<QRadioButton>("Option2"), Qt::LeftButton);
        QVERIFY(!main.control<QRadioButton>("Option1")->isChecked());
        QVERIFY(!main.rig.controller->preferServer1());

        QCOMPARE(main.text("Online"), QStringLiteral("Онлайн – 0"));
        QVERIFY(!main.control<QLabel>("Online")->isEnabled());
        QCOMPARE(main.control<VistaButton>("Label3")->caption(), QStringLiteral("Применить"));
        QCOMPARE(main.control<VistaButton>("VistaButton1")->caption(),
                 QStringLiteral("Development"));
        auto* tray = main.control<TrayArea>("TrayArea1");
        QVERIFY(tray->isVisible());
        QVERIFY(tray->toolTip().isEmpty());
        QVERIFY(!QFile::exists(main.rig.configPath())); // nothing is written at load
        QVERIFY(main.messages.shown().isEmpty());
    }

    void loadsUsableValuesOfConfigFile() {
        MainWindowRig main;
        main.writeConfig("[main]\nClient_Port= 9100.5\nServer_IP=10.1.2.3\nServer_Port=abc\n"
                         "Server2_IP=\nServer2_Port=7001\nAuto_Start=0\n");
        const QByteArray before = readBytes(main.rig.configPath());
        MainWindow* window = main.open();

        QVERIFY(!window->startHidden());
        // The client port rounds half to even; a port that is no number and an
        // empty address give the defaults.
        QCOMPARE(main.boxTexts(), QStringList({"9100", "10.1.2.3", "9730", "127.0.0.2", "7001"}));
        QCOMPARE(readBytes(main.rig.configPath()), before);
    }

    void automaticStartListensWithTheWindowHidden() {
        FakeUpstream server;
        MainWindowRig main;
        const quint16 clientPort = freePort();
        main.writeConfig(configFor(1, clientPort, server));
        QSignalSpy listening(main.rig.controller.get(), &RelayController::listeningChanged);
        MainWindow* window = main.open();

        QVERIFY(window->startHidden());
        QVERIFY(main.control<TrayArea>("TrayArea1")->isVisible());
        QVERIFY(listening.wait(5000));
        QVERIFY(!window->isVisible());
        QCOMPARE(window->windowOpacity(), 1.0); // never made translucent
        QCOMPARE(main.control<VistaButton>("Label3")->caption(), QStringLiteral("Рестарт"));
        QVERIFY(main.control<QLabel>("Online")->isEnabled());
        QCOMPARE(main.control<TrayArea>("TrayArea1")->toolTip(), QStringLiteral("Онлайн – 0"));
        QCOMPARE(textColour(main.box("Text2")), Reachable);
        QCOMPARE(textColour(main.box("Text10")), Reachable);
        QCOMPARE(textColour(main.box("Text1")), QColor(Qt::white));

        auto client = connectClient(clientPort);
        QVERIFY(roundTrip(*client, "through the hidden window"));

        // An exit from the tray menu ends at once: nothing to fade.
        QSignalSpy ended(window, &MainWindow::programEnded);
        window->requestExit();
        QVERIFY(ended.wait(1000));
        QVERIFY(!main.control<TrayArea>("TrayArea1")->isVisible());
    }

    void automaticStartWithoutServerReportsAndStaysHidden() {
        MainWindowRig main;
        main.writeConfig(QStringLiteral("[main]\nAuto_Start=1\nClient_Port=%1\nServer_Port=%2\n"
                                        "Server2_IP=127.0.0.1\nServer2_Port=%2\n")
                             .arg(freePort())
                             .arg(freePort())
                             .toUtf8());
        QSignalSpy finished(main.rig.controller.get(), &RelayController::startFinished);
        MainWindow* window = main.open();
        QVERIFY(finished.wait(5000));
        QCOMPARE(main.messages.texts(), QStringList{QStringLiteral("Сервер недоступен")});
        QVERIFY(!main.messages.shown().first().message.fromUserAction); // never blocks
        QVERIFY(!window->isVisible());
        QCOMPARE(main.control<VistaButton>("Label3")->caption(), QStringLiteral("Приминить"));
    }

    void applyRefusesBadClientPortsBeforeTouchingSockets() {
        FakeUpstream server;
        MainWindowRig main;
        main.open();
        for (const QString& port :
             {QStringLiteral("65536"), QStringLiteral(""), QStringLiteral("port")}) {
            main.messages.clear();
            main.typeBoxes(boxesFor(0, server));
            main.box("Text1")->setText(port);
            QVERIFY(clickApplyAndWait(main));
            QCOMPARE(main.messages.shown().size(), 1);
            const UserMessage& message = main.messages.shown().first().message;
            QVERIFY2(!message.text.isEmpty(), qPrintable(port));
            QCOMPARE(message.icon, MessageIcon::Critical);
            QVERIFY(message.fromUserAction);
            QCOMPARE(main.messages.shown().first().parent.data(), main.window.get());
            QVERIFY(main.control<VistaButton>("Label3")->isEnabled());
            QCOMPARE(main.control<VistaButton>("Label3")->caption(), QStringLiteral("Применить"));
        }
        QCOMPARE(server.connectionsAccepted(), 0); // refused before the probe
        QVERIFY(!QFile::exists(main.rig.configPath()));
    }

    void applyOnBusyPortAsksForAnotherOne() {
        FakeUpstream server;
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::AnyIPv4, 0));
        MainWindowRig main;
        main.open();
        main.typeBoxes(boxesFor(occupant.serverPort(), server));
        QVERIFY(clickApplyAndWait(main));
        QCOMPARE(main.messages.texts(),
                 QStringList{QStringLiteral("Порт занят, пожалуйста введите другой порт")});
        QVERIFY(main.control<VistaButton>("Label3")->isEnabled());
        QVERIFY(!QFile::exists(main.rig.configPath()));

        // Another port then starts.
        main.messages.clear();
        main.typeBoxes(boxesFor(freePort(), server));
        QVERIFY(clickApplyAndWait(main));
        QVERIFY(main.messages.shown().isEmpty());
        QCOMPARE(main.control<VistaButton>("Label3")->caption(), QStringLiteral("Рестарт"));
        QVERIFY(QFile::exists(main.rig.configPath()));
    }

    void applyWithoutServerColoursBoxesAndKeepsFile() {
        MainWindowRig main;
        main.writeConfig("[main]\nAuto_Start=0\n");
        const QByteArray before = readBytes(main.rig.configPath());
        main.open();
        main.typeBoxes(boxesFor(freePort(), QStringLiteral("127.0.0.1"), freePort(),
                                QStringLiteral("127.0.0.1"), freePort()));
        QVERIFY(clickApplyAndWait(main));

        QCOMPARE(main.messages.texts(), QStringList{QStringLiteral("Сервер недоступен")});
        QCOMPARE(main.control<VistaButton>("Label3")->caption(), QStringLiteral("Приминить"));
        QVERIFY(main.control<VistaButton>("Label3")->isEnabled());
        for (const char* name : {"Text2", "Text3", "Text6", "Text10"})
            QCOMPARE(textColour(main.box(name)), Unreachable);
        QCOMPARE(main.text("Online"), QStringLiteral("Онлаин – 0"));
        QVERIFY(!main.control<QLabel>("Online")->isEnabled());
        QCOMPARE(readBytes(main.rig.configPath()), before);
    }

    void restartClosesBothPairsAndEmptiesTooltipDuringProbe() {
        FakeUpstream server;
        MainWindowRig main;
        main.open();
        const quint16 clientPort = freePort();
        main.typeBoxes(boxesFor(clientPort, server.host(), server.port(),
                                QStringLiteral("127.0.0.1"), freePort()));
        QVERIFY(clickApplyAndWait(main));
        QCOMPARE(textColour(main.box("Text3")), Reachable);
        QCOMPARE(textColour(main.box("Text6")), Unreachable);

        auto first = connectClient(clientPort);
        auto second = connectClient(clientPort);
        QVERIFY(roundTrip(*first, "one"));
        QVERIFY(roundTrip(*second, "two"));
        QTRY_COMPARE_WITH_TIMEOUT(main.text("Online"), QStringLiteral("Онлаин – 2"), 5000);
        QCOMPARE(main.control<TrayArea>("TrayArea1")->toolTip(), QStringLiteral("Онлаин – 2"));

        auto* tray = main.control<TrayArea>("TrayArea1");
        QStringList toolTips;
        connect(tray, &TrayArea::PropertyChanged, this, [&](const QString& name) {
            if (name == QLatin1String("ToolTip"))
                toolTips << tray->toolTip();
        });
        QSignalSpy firstClosed(first.get(), &QTcpSocket::disconnected);
        QSignalSpy secondClosed(second.get(), &QTcpSocket::disconnected);
        QVERIFY(clickApplyAndWait(main));

        QVERIFY(firstClosed.count() == 1 || firstClosed.wait(3000));
        QVERIFY(secondClosed.count() == 1 || secondClosed.wait(3000));
        QCOMPARE(toolTips, (QStringList{QString(), QStringLiteral("Онлайн – 0")}));
        QCOMPARE(main.text("Online"), QStringLiteral("Онлайн – 0"));
        QCOMPARE(main.control<VistaButton>("Label3")->caption(), QStringLiteral("Рестарт"));
        QVERIFY(main.messages.shown().isEmpty());
    }

    void onlineLabelOpensOneListOnceListening() {
        FakeUpstream server;
        MainWindowRig main;
        main.open();
        auto* online = main.control<QLabel>("Online");
        QTest::mouseClick(online, Qt::LeftButton);
        QCOMPARE(visibleTopLevels<OnlineListWindow>().size(), 0); // disabled before the first start

        main.typeBoxes(boxesFor(freePort(), server));
        QVERIFY(clickApplyAndWait(main));
        QVERIFY(online->isEnabled());

        QTest::mousePress(online, Qt::LeftButton);
        QVERIFY(online->autoFillBackground());
        QCOMPARE(online->palette().color(QPalette::Window), QColor(107, 107, 107));
        QTest::mouseRelease(online, Qt::LeftButton);
        QVERIFY(!online->autoFillBackground());
        QCOMPARE(visibleTopLevels<OnlineListWindow>().size(), 1);

        QTest::mouseClick(online, Qt::LeftButton);
        QCOMPARE(visibleTopLevels<OnlineListWindow>().size(), 1);

        // A right button shows the grey too but opens nothing new.
        QTest::mousePress(online, Qt::RightButton);
        QVERIFY(online->autoFillBackground());
        QTest::mouseRelease(online, Qt::RightButton);
        QVERIFY(!online->autoFillBackground());
        QCOMPARE(visibleTopLevels<OnlineListWindow>().size(), 1);
    }
};

QM_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
