#include "controls/program_icon.h"
#include "controls/tray/notification_icon.h"
#include "controls/tray/property_bag.h"
#include "controls/tray/qt_notification_icon.h"
#include "controls/tray/tray_area.h"
#include "controls/tray/tray_notification.h"
#include "support/test_main.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QWidget>

using namespace qm;

namespace {

// Records what reaches the platform.
class FakeNotificationIcon final : public NotificationIcon {
public:
    struct Log {
        int adds = 0;
        int removes = 0;
        bool present = false;
        QString toolTip;
        QIcon icon;
    };
    explicit FakeNotificationIcon(Log* log) : m_log(log) {}

    void add(const QIcon& icon, const QString& toolTip) override {
        ++m_log->adds;
        m_log->present = true;
        m_log->icon = icon;
        m_log->toolTip = toolTip;
    }
    void modifyIcon(const QIcon& icon) override {
        if (m_log->present)
            m_log->icon = icon;
    }
    void modifyToolTip(const QString& toolTip) override {
        if (m_log->present)
            m_log->toolTip = toolTip;
    }
    void remove() override {
        if (m_log->present)
            ++m_log->removes;
        m_log->present = false;
    }

private:
    Log* m_log;
};

struct FakeTray {
    FakeNotificationIcon::Log log;
    TrayArea tray{std::make_unique<FakeNotificationIcon>(&log)};

    void showProgramIcon() {
        tray.setIcon(programIcon());
        tray.setVisible(true);
    }
};

QAction* menuItem(TrayArea& tray, const QString& name) {
    return tray.menu()->findChild<QAction*>(name);
}

} // namespace

class TrayAreaTest : public QObject {
    Q_OBJECT
private slots:
    void decodesEachNotificationByTheFirstMatch_data() {
        QTest::addColumn<float>("number");
        QTest::addColumn<int>("event");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("menu");
        const auto row = [](const char* name, float n, TrayEvent e, int b, bool m) {
            QTest::newRow(name) << n << int(e) << b << m;
        };
        row("512 move", 512, TrayEvent::MouseMove, 3, false);
        row("513 left down", 513, TrayEvent::MouseDown, 1, false);
        row("514 left up clicks", 514, TrayEvent::Click, 0, false);
        row("515 left double", 515, TrayEvent::DblClick, 0, false);
        row("516 right down", 516, TrayEvent::MouseDown, 2, true);
        row("517 right up", 517, TrayEvent::MouseUp, 2, false);
        row("518 right double", 518, TrayEvent::DblClick, 0, false);
        row("519 middle clicks", 519, TrayEvent::Click, 0, false);
        row("511", 511, TrayEvent::None, 0, false);
        row("520", 520, TrayEvent::None, 0, false);
        row("not whole", 513.5f, TrayEvent::None, 0, false);
    }
    void decodesEachNotificationByTheFirstMatch() {
        QFETCH(float, number);
        QFETCH(int, event);
        QFETCH(int, button);
        QFETCH(bool, menu);
        const TrayReaction reaction = decodeTrayNotification(number, 3);
        QCOMPARE(int(reaction.event), event);
        QCOMPARE(reaction.button, button);
        QCOMPARE(reaction.showMenu, menu);
    }

    void leftDoubleClickRaisesDownClickDoubleClickClick() {
        FakeTray t;
        QStringList events;
        connect(&t.tray, &TrayArea::MouseDown,
                [&](int b, float x) { events << QStringLiteral("down %1 %2").arg(b).arg(x); });
        connect(&t.tray, &TrayArea::MouseUp,
                [&](int b, float) { events << "up" + QString::number(b); });
        connect(&t.tray, &TrayArea::Click, [&] { events << "click"; });
        connect(&t.tray, &TrayArea::DblClick, [&] { events << "dbl"; });
        for (float n : {513.f, 514.f, 515.f, 514.f})
            t.tray.notify(n);
        QCOMPARE(events, QStringList({"down 1 513", "click", "dbl", "click"}));
        events.clear();
        t.tray.notify(519);
        t.tray.notify(517);
        QCOMPARE(events, QStringList({"click", "up2"}));
    }

    void rightPressOpensTheMenuAfterMouseDownHandlers() {
        FakeTray t;
        bool menuOpenDuringHandler = true;
        int downButton = 0;
        connect(&t.tray, &TrayArea::MouseDown, [&](int b, float) {
            downButton = b;
            menuOpenDuringHandler = t.tray.menu()->isVisible();
        });
        t.tray.notify(TrayRightDown);
        QCOMPARE(downButton, 2);
        QVERIFY(!menuOpenDuringHandler);
        QVERIFY(t.tray.menu()->isVisible());
        t.tray.menu()->hide();

        // A handler that ends the control does not leave the menu to a dead owner.
        auto* doomed = new TrayArea(std::make_unique<FakeNotificationIcon>(&t.log));
        connect(doomed, &TrayArea::MouseDown, [doomed] { delete doomed; });
        doomed->notify(TrayRightDown);
    }

    void menuHasItsTwoCommandsAndASeparator() {
        FakeTray t;
        const QList<QAction*> items = t.tray.menu()->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), QStringLiteral("Развернуть"));
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2]->text(), QStringLiteral("ВЫХОД"));

        QSignalSpy exits(&t.tray, &TrayArea::ExitProg);
        menuItem(t.tray, "Close")->trigger();
        QCOMPARE(exits.size(), 1);

        QWidget window;
        window.hide();
        t.tray.setMainWindow(&window);
        menuItem(t.tray, "Unfold")->trigger();
        QVERIFY(window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 2000);
    }

    void toolTipIsStoredTrimmedAndWholeAndCutForThePlatform() {
        FakeTray t;
        t.tray.setToolTip(QStringLiteral("  42  "));
        QCOMPARE(t.tray.toolTip(), QStringLiteral("42"));
        QCOMPARE(t.log.adds, 0); // set while hidden: kept for the next showing

        t.showProgramIcon();
        QCOMPARE(t.log.adds, 1);
        QCOMPARE(t.log.toolTip, QStringLiteral("42"));

        const QString seventy(70, QLatin1Char('x'));
        t.tray.setToolTip(seventy);
        QCOMPARE(t.tray.toolTip(), seventy);
        QCOMPARE(t.log.toolTip, seventy.left(64));
        QCOMPARE(t.tray.toolTip().size(), 70);
    }

    void visibleChangesOnlyOnANewValue() {
        FakeTray t;
        QSignalSpy changes(&t.tray, &TrayArea::PropertyChanged);
        t.tray.setVisible(false);
        QCOMPARE(changes.size(), 0);
        t.showProgramIcon();
        t.tray.setVisible(true);
        QCOMPARE(t.log.adds, 1);
        QCOMPARE(changes.size(), 2); // Icon, Visible
        t.tray.setVisible(false);
        QVERIFY(!t.log.present);
        QCOMPARE(t.log.removes, 1);
    }

    void anAbsentIconHidesTheIcon() {
        FakeTray t;
        t.showProgramIcon();
        QVERIFY(t.log.present);
        t.tray.setIcon(QIcon());
        QVERIFY(!t.tray.isVisible());
        QVERIFY(!t.log.present);
        QVERIFY(t.tray.icon().isNull());

        // A new picture while shown reaches the platform at once.
        t.showProgramIcon();
        const QIcon other(QPixmap::fromImage(drawProgramImage(16)));
        t.tray.setIcon(other);
        QCOMPARE(t.log.icon.cacheKey(), other.cacheKey());
    }

    void theIconNeverOutlivesTheControl() {
        FakeNotificationIcon::Log log;
        {
            TrayArea tray(std::make_unique<FakeNotificationIcon>(&log));
            tray.setIcon(programIcon());
            tray.setVisible(true);
            QVERIFY(log.present);
        }
        QVERIFY(!log.present);
    }

    void storedPropertiesLoadWithoutTouchingThePlatform() {
        MemoryPropertyBag bag;
        bag.write("icon", programIcon(), QVariant());
        bag.write("TOOLTIP", "stored", QString());
        bag.write("visible", true, false);
        FakeTray t;
        t.tray.readProperties(bag);
        QVERIFY(!t.tray.icon().isNull());
        QCOMPARE(t.tray.toolTip(), QStringLiteral("stored"));
        QVERIFY(t.tray.isVisible());
        QCOMPARE(t.log.adds, 0); // a stored True does not show the icon by itself

        FakeTray fresh;
        MemoryPropertyBag saved;
        fresh.tray.writeProperties(saved);
        QCOMPARE(saved.size(), 0); // all at their defaults
        fresh.tray.readProperties(saved);
        QVERIFY(fresh.tray.icon().isNull());
        QCOMPARE(fresh.tray.toolTip(), QString());
        QVERIFY(!fresh.tray.isVisible());

        t.tray.writeProperties(saved);
        QVERIFY(saved.contains("Icon") && saved.contains("tooltip") && saved.contains("Visible"));
        bag.write("Visible", false, false); // a default value is dropped, whatever its case
        QVERIFY(!bag.contains("visible"));
    }

    void withoutANotificationAreaPropertiesAreKeptAndNothingIsRaised() {
        TrayArea tray; // the offscreen platform has no notification area
        QSignalSpy downs(&tray, &TrayArea::MouseDown);
        tray.setIcon(programIcon());
        tray.setToolTip(QStringLiteral("Онлайн – 3"));
        tray.setVisible(true);
        QVERIFY(tray.isVisible());
        QCOMPARE(tray.toolTip(), QStringLiteral("Онлайн – 3"));
        tray.setVisible(false);
        tray.setVisible(true);
        QCOMPARE(downs.size(), 0);
    }

    void programIconHoldsThreeDrawnSizes() {
        const QIcon icon = programIcon();
        const QList<QSize> sizes = icon.availableSizes();
        for (int side : {48, 32, 16}) {
            QVERIFY(sizes.contains(QSize(side, side)));
            const QImage image = drawProgramImage(side);
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);                 // rounded corner
            QCOMPARE(image.pixelColor(side / 2, side / 2).alpha(), 255); // solid tile
        }
    }
};

QM_TEST_MAIN(TrayAreaTest)
#include "tray_area_test.moc"
