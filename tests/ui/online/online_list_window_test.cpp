#include "controls/button/vista_button.h"
#include "core/bans/ip_address.h"
#include "service/relay_controller.h"
#include "support/controller_rig.h"
#include "support/fake_upstream.h"
#include "support/file_helpers.h"
#include "support/test_main.h"
#include "support/top_levels.h"
#include "support/window_context.h"
#include "ui/bans/ban_address_dialog.h"
#include "ui/bans/ban_list_window.h"
#include "ui/online/online_list_model.h"
#include "ui/online/online_list_window.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTreeView>

#include <memory>

using namespace qm;
using namespace qm::test;

namespace {

// A relay listening on an OS-chosen port in front of an echoing fake upstream,
// and the context an online list window is built with.
struct LiveRelay : WindowContext {
    LiveRelay() : controller(bans.table(), clock, options(dir)) {
        clock.set(QDateTime(QDate(2026, 3, 10), QTime(10, 0, 0)));
        port = freePort();
        QSignalSpy finished(&controller, &RelayController::startFinished);
        controller.startRelay(
            boxesFor(port, upstream.host(), upstream.port(), upstream.host(), upstream.port()));
        listening = finished.wait(5000) && finished.first().at(0).toBool();
        ctx.controller = &controller;
    }

    static RelayController::Options options(const QTemporaryDir& dir) {
        RelayController::Options options;
        options.configPath = dir.filePath(QStringLiteral("config.ini"));
        options.datagramUpstreamPort = freePort();
        return options;
    }

    // A client from the given loopback address, once the relay has accepted it.
    std::unique_ptr<QTcpSocket> connectFrom(const QString& address) {
        auto client = std::make_unique<QTcpSocket>();
        const size_t before = controller.livePairs().size();
        if (!client->bind(QHostAddress(address)))
            return nullptr;
        client->connectToHost(QHostAddress::LocalHost, port);
        QDeadlineTimer deadline(5000);
        while (controller.livePairs().size() == before && !deadline.hasExpired())
            QTest::qWait(5);
        return controller.livePairs().size() > before ? std::move(client) : nullptr;
    }

    FakeUpstream upstream;
    RelayController controller;
    quint16 port = 0;
    bool listening = false;
};

QStringList column(const OnlineListWindow& window, int column) {
    QStringList texts;
    const OnlineListModel& model = window.model();
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}

// Shows the window with the live pairs listed; the test owns the window.
void showListed(OnlineListWindow& window) {
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    window.refresh();
}

void clickRow(OnlineListWindow& window, int row) {
    QTreeView* list = window.list();
    const QRect rect = list->visualRect(window.model().index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

bool waitUntilClosed(QTcpSocket& socket) {
    QDeadlineTimer deadline(5000);
    while (socket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired())
        QTest::qWait(5);
    return socket.state() == QAbstractSocket::UnconnectedState;
}

std::vector<PairSnapshot> syntheticPairs(int count, const QDateTime& acceptedAt) {
    std::vector<PairSnapshot> pairs;
    for (int i = 0; i < count; ++i)
        pairs.push_back({i + 1, QStringLiteral("10.0.%1.%2").arg(i / 250).arg(i % 250 + 1),
                         acceptedAt, quint64(i), quint64(i) * 1024});
    return pairs;
}

} // namespace

class OnlineListWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Rows that grow, shrink and change in place keep every promise a view relies on.
    void modelKeepsTheItemModelRules() {
        OnlineListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1000000);
        for (const int count : {3, 5, 5, 1, 0, 4}) {
            model.setPairs(syntheticPairs(count, now.addSecs(-count)), now);
            QCOMPARE(model.rowCount(), count);
        }
        QCOMPARE(model.addressAt(3), QStringLiteral("10.0.0.4"));
        QVERIFY(model.addressAt(4).isEmpty());
    }

    void showsTheLivePairsWithTimeAndTraffic() {
        LiveRelay relay;
        QVERIFY(relay.listening);
        auto window = std::make_unique<OnlineListWindow>(relay.ctx);
        window->show();
        QCOMPARE(window->windowTitle(), QStringLiteral("Онлайн лист"));

        auto first = relay.connectFrom(QStringLiteral("127.0.0.2"));
        auto second = relay.connectFrom(QStringLiteral("127.0.0.3"));
        QVERIFY(first && second);
        // The timer picks the new pairs up within a second.
        QTRY_COMPARE_WITH_TIMEOUT(column(*window, 0), QStringList({"127.0.0.2", "127.0.0.3"}),
                                  3000);

        first->write(QByteArray(1025, 'x'));
        QTRY_COMPARE_WITH_TIMEOUT(relay.upstream.received().size(), 1025, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(first->bytesAvailable(), 1025, 5000);
        relay.clock.advance(3600 + 2 * 60 + 5);
        window->refresh();
        QCOMPARE(column(*window, 1), QStringList({"1:02:05", "1:02:05"}));
        QCOMPARE(column(*window, 2), QStringList({"1.00 Kb  ", "0.00 Byte"}));
        QCOMPARE(column(*window, 3), QStringList({"1.00 Kb  ", "0.00 Byte"}));

        const OnlineListModel& model = window->model();
        QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QStringList captions;
        QList<int> widths;
        for (int c = 0; c < model.columnCount(); ++c) {
            captions << model.headerData(c, Qt::Horizontal).toString();
            widths << window->list()->header()->sectionSize(c);
        }
        QCOMPARE(captions, QStringList({"IP Address", "Online ", "Исходящий", "Входящий"}));
        // The design's widths, wider only where the caption would not fit.
        const QList<int> designed = {100, 67, 73, 73};
        for (int c = 0; c < model.columnCount(); ++c) {
            const QHeaderView* header = window->list()->header();
            QCOMPARE(widths[c], std::max(designed[c], header->sectionSizeHint(c)));
        }
    }

    void selectionStaysOnItsPosition() {
        LiveRelay relay;
        auto a = relay.connectFrom(QStringLiteral("127.0.0.2"));
        auto b = relay.connectFrom(QStringLiteral("127.0.0.3"));
        auto c = relay.connectFrom(QStringLiteral("127.0.0.4"));
        QVERIFY(a && b && c);
        OnlineListWindow window(relay.ctx);
        showListed(window);
        clickRow(window, 1);
        QCOMPARE(window.selectedRow(), 1);

        b->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(relay.controller.livePairs().size(), size_t(2), 5000);
        window.refresh();
        QCOMPARE(column(window, 0), QStringList({"127.0.0.2", "127.0.0.4"}));
        QCOMPARE(window.selectedRow(), 1);

        // A position that no longer has a row leaves nothing selected.
        c->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(relay.controller.livePairs().size(), size_t(1), 5000);
        window.refresh();
        QCOMPARE(window.selectedRow(), -1);
    }

    // When the current row goes, the view makes a neighbour current and selects
    // it: a refresh must not select a client the user never chose (or let go
    // of), whom Delete would then disconnect.
    void shrinkingListSelectsNothingByItself() {
        WindowContext c;
        OnlineListWindow window(c.ctx);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        int count = 3;
        window.setPairSource([&] { return syntheticPairs(count, c.clock.now()); });
        window.show();
        window.refresh();
        clickRow(window, 2);
        QTest::mouseClick(window.list()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          window.list()->visualRect(window.model().index(2, 0)).center());
        QCOMPARE(window.selectedRow(), -1);
        count = 2;
        window.refresh();
        QCOMPARE(window.selectedRow(), -1);
    }

    void disconnectEndsTheFirstPairOfThatAddress() {
        LiveRelay relay;
        auto lower = relay.connectFrom(QStringLiteral("127.0.0.5"));
        auto other = relay.connectFrom(QStringLiteral("127.0.0.6"));
        auto higher = relay.connectFrom(QStringLiteral("127.0.0.5"));
        QVERIFY(lower && other && higher);
        OnlineListWindow window(relay.ctx);
        showListed(window);
        QSignalSpy captions(&relay.controller, &RelayController::onlineCaptionChanged);

        // The row of the higher slot is selected, yet the lower slot goes.
        clickRow(window, 2);
        window.findChild<VistaButton*>(QStringLiteral("VistaButton2"))->Click();
        QVERIFY(waitUntilClosed(*lower));
        QCOMPARE(higher->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(relay.controller.onlineN(), qint16(2));
        QCOMPARE(captions.size(), 1);
        QCOMPARE(relay.controller.onlineCaption(), QStringLiteral("Онлайн – 2"));
        QCOMPARE(relay.controller.trayToolTip(), QStringLiteral("Онлайн – 2"));
        QCOMPARE(window.focusWidget(), window.list());

        // The row goes at the next refresh, not before.
        QCOMPARE(column(window, 0).size(), 3);
        window.refresh();
        QCOMPARE(column(window, 0), QStringList({"127.0.0.6", "127.0.0.5"}));
    }

    void deleteKeyDisconnectsAndCtrlDeleteBans() {
        LiveRelay relay;
        OnlineListWindow window(relay.ctx);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.show();

        const QList<Qt::KeyboardModifiers> disconnecting = {
            Qt::NoModifier, Qt::ShiftModifier, Qt::AltModifier,
            Qt::ControlModifier | Qt::ShiftModifier, Qt::ControlModifier | Qt::AltModifier};
        for (const Qt::KeyboardModifiers modifiers : disconnecting) {
            auto client = relay.connectFrom(QStringLiteral("127.0.0.7"));
            QVERIFY(client);
            window.refresh();
            clickRow(window, 0);
            QTest::keyClick(window.list(), Qt::Key_Delete, modifiers);
            QVERIFY2(waitUntilClosed(*client), qPrintable(QString::number(modifiers.toInt())));
            window.refresh();
        }
        QCOMPARE(relay.bans.table().count(), 0);
        QVERIFY(!QFile::exists(relay.banFile()));

        // Ctrl alone bans, silently, and leaves the connection open.
        auto client = relay.connectFrom(QStringLiteral("127.0.0.8"));
        QVERIFY(client);
        window.refresh();
        clickRow(window, 0);
        QTest::keyClick(window.list(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(relay.bans.table().count(), 1);
        QCOMPARE(numberToIp(relay.bans.table().at(0)), QStringLiteral("127.0.0.8"));
        QCOMPARE(readBytes(relay.banFile()), QByteArray::fromHex("7f00000800000000"));
        QVERIFY(relay.messages.shown().isEmpty());
        QTest::qWait(50);
        QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(column(window, 0), QStringList({"127.0.0.8"}));

        // Banning it again only tells the user.
        window.findChild<VistaButton*>(QStringLiteral("VistaButton3"))->Click();
        QCOMPARE(relay.messages.shown().size(), 1);
        const UserMessage told = relay.messages.shown().first().message;
        QCOMPARE(told.text, QStringLiteral("Ты уже забанил этот IP Адрес теперь тебе нужно "
                                           "отключить его от сервера"));
        QCOMPARE(told.icon, MessageIcon::Information);
        QCOMPARE(relay.bans.table().count(), 1);
        QCOMPARE(readBytes(relay.banFile()).size(), 8);
    }

    void actionsWithoutSelectionDoNothing() {
        LiveRelay relay;
        auto client = relay.connectFrom(QStringLiteral("127.0.0.2"));
        QVERIFY(client);
        OnlineListWindow window(relay.ctx);
        showListed(window);
        QCOMPARE(window.selectedRow(), -1);
        QTest::keyClick(window.list(), Qt::Key_Delete);
        QTest::keyClick(window.list(), Qt::Key_Delete, Qt::ControlModifier);
        QTest::qWait(50);
        QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(relay.controller.onlineN(), qint16(1));
        QCOMPARE(relay.bans.table().count(), 0);
        QVERIFY(relay.messages.shown().isEmpty());
    }

    void failedBanSaveIsToldAndUndone() {
        LiveRelay relay;
        auto client = relay.connectFrom(QStringLiteral("127.0.0.2"));
        QVERIFY(client);
        QVERIFY(relay.makeBanFileUnwritable());
        OnlineListWindow window(relay.ctx);
        showListed(window);
        clickRow(window, 0);
        window.banSelected();
        QCOMPARE(relay.bans.table().count(), 0);
        QCOMPARE(relay.bans.table().elements(), std::vector<qint32>({0}));
        QCOMPARE(relay.messages.shown().size(), 1);
        QCOMPARE(relay.messages.shown().first().message.icon, MessageIcon::Critical);
    }

    void bannedButtonOpensTheBanListAndDisablesTheWindow() {
        LiveRelay relay;
        relay.bans.add(ipToNumber(u"192.168.0.1"));
        auto client = relay.connectFrom(QStringLiteral("127.0.0.2"));
        QVERIFY(client);
        OnlineListWindow window(relay.ctx);
        showListed(window);
        clickRow(window, 0);

        window.findChild<VistaButton*>(QStringLiteral("VistaButton1"))->Click();
        QPointer<BanListWindow> banList = visibleTopLevels<BanListWindow>().value(0);
        QVERIFY(banList);
        QCOMPARE(banList->list()->count(), 1);
        QVERIFY(!window.isEnabled());
        QCOMPARE(banList->pos() - window.pos(), QPoint(67, 67));

        // While it is open the list ignores keys, yet keeps refreshing.
        QTest::keyClick(window.list(), Qt::Key_Delete);
        QTest::qWait(50);
        QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
        relay.clock.advance(7);
        QTRY_COMPARE_WITH_TIMEOUT(column(window, 1), QStringList({"0:00:07"}), 3000);

        banList->close();
        QTRY_VERIFY(banList.isNull());
        QVERIFY(window.isEnabled());
    }

    // A window closed while it waits for the one it opened (a close box works on a
    // disabled window) takes that one along. Left open, a ban list or dialog
    // goes on changing the table beside a newer ban list, whose rows are then
    // no longer the table's: its "Удалить" lifts another ban than the row shows.
    void closingAnOpenerClosesWhatItOpened() {
        WindowContext c;
        c.bans.add(ipToNumber(u"1.1.1.1"));
        QPointer<OnlineListWindow> online = new OnlineListWindow(c.ctx);
        online->show();
        const auto openBanList = [&] {
            online->findChild<VistaButton*>(QStringLiteral("VistaButton1"))->Click();
            return QPointer<BanListWindow>(visibleTopLevels<BanListWindow>().value(0));
        };
        QPointer<BanListWindow> banList = openBanList();
        QVERIFY(banList);
        banList->findChild<VistaButton*>(QStringLiteral("VistaButton1"))->Click();
        QPointer<BanAddressDialog> dialog = visibleTopLevels<BanAddressDialog>().value(0);
        QVERIFY(dialog);

        banList->close();
        QTRY_VERIFY(banList.isNull());
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(online->isEnabled());

        banList = openBanList();
        QVERIFY(banList);
        online->close();
        QTRY_VERIFY(online.isNull());
        QTRY_VERIFY(banList.isNull());
        QCOMPARE(c.bans.table().elements(), std::vector<qint32>({ipToNumber(u"1.1.1.1"), 0}));
    }

    void refreshKeepsTheScrollPosition() {
        WindowContext c;
        OnlineListWindow window(c.ctx);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        const QDateTime accepted = c.clock.now();
        int count = 500;
        window.setPairSource([&] { return syntheticPairs(count, accepted); });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.refresh();
        QScrollBar* bar = window.list()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        // The last client is selected, then the user scrolls up, away from it.
        window.list()->setCurrentIndex(window.model().index(499, 0));
        QCOMPARE(window.selectedRow(), 499);
        bar->setValue(bar->maximum() / 2);
        const int scrolled = bar->value();
        QVERIFY(scrolled > 0);
        QSignalSpy changed(&window.model(), &QAbstractItemModel::dataChanged);
        c.clock.advance(1);
        window.refresh();
        QCOMPARE(bar->value(), scrolled);
        // The rows in view, wherever the list is scrolled to, repaint their new times.
        const QRect area = window.list()->viewport()->rect();
        QCOMPARE(changed.size(), 1);
        QVERIFY(changed[0][0].toModelIndex().row() <= window.list()->indexAt(area.topLeft()).row());
        QVERIFY(changed[0][1].toModelIndex().row() >=
                window.list()->indexAt(QPoint(0, area.bottom())).row());
        count = 480;
        c.clock.advance(1);
        window.refresh();
        QCOMPARE(bar->value(), scrolled);
        QCOMPARE(window.selectedRow(), -1);
        QCOMPARE(window.model().index(479, 1).data().toString(), QStringLiteral("0:00:02"));
    }

    void windowKeepsItsMinimumAndLaysOutOnResize() {
        WindowContext c;
        OnlineListWindow window(c.ctx);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.show();
        QCOMPARE(window.size(), QSize(539, 467));
        window.resize(10, 10);
        QVERIFY(window.width() >= 305 && window.height() >= 62);

        window.resize(800, 500);
        QTRY_COMPARE(window.size(), QSize(800, 500));
        const QRect list = window.list()->geometry();
        const QWidget* panel = window.findChild<QWidget*>(QStringLiteral("Frame1"));
        QCOMPARE(list, QRect(8, 8, 698, 484));
        QCOMPARE(panel->pos(), QPoint(708, 8));
    }
};

QM_TEST_MAIN(OnlineListWindowTest)
#include "online_list_window_test.moc"
