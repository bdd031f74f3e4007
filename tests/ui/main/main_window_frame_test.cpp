// The main window's frame: fade in and out, dragging, title pictures, tray
// reactions and the about window.
#include "controls/button/vista_button.h"
#include "controls/pressable_label.h"
#include "controls/tray/tray_area.h"
#include "controls/tray/tray_notification.h"
#include "controls/window_fade.h"
#include "main_window_rig.h"
#include "support/test_main.h"
#include "support/top_levels.h"
#include "ui/main/about_window.h"
#include "ui/main/main_window_pictures.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QUrl>

using namespace qm;
using namespace qm::test;

namespace {

QList<int> alphas(const QSignalSpy& spy) {
    QList<int> values;
    for (const QList<QVariant>& arguments : spy)
        values << arguments.at(0).toInt();
    return values;
}

QImage titleLook(TitleGlyph glyph, TitleLook look, const QLabel* picture) {
    return drawTitlePicture(glyph, look, picture->size(), picture->devicePixelRatioF()).toImage();
}

void triggerMenuEntry(TrayArea& tray, const QString& text) {
    for (QAction* action : tray.menu()->actions())
        if (action->text() == text)
            action->trigger();
}

// Presses the button at (5, 5), moves by (40, 30) and releases there.
void drag(QWidget* widget, Qt::MouseButton button) {
    QTest::mousePress(widget, button, {}, QPoint(5, 5));
    QTest::mouseMove(widget, QPoint(45, 35));
    QTest::mouseRelease(widget, button, {}, QPoint(45, 35));
}

} // namespace

class MainWindowFrameTest : public QObject {
    Q_OBJECT
public slots:
    void openUrl(const QUrl& url) { m_openedUrls << url; }

private slots:
    void alphaRoundsHalfToEven() {
        QCOMPARE(WindowFade::alphaForPercent(0), 0);
        QCOMPARE(WindowFade::alphaForPercent(10), 26);  // 25.5
        QCOMPARE(WindowFade::alphaForPercent(50), 128); // 127.5
        QCOMPARE(WindowFade::alphaForPercent(30), 76);  // 76.5
        QCOMPARE(WindowFade::alphaForPercent(98), 250);
        QCOMPARE(WindowFade::alphaForPercent(100), 255);
    }

    void fadeInTakes49StepsAndStopsAt98() {
        WindowFade fade;
        QSignalSpy applied(&fade, &WindowFade::alphaChanged);
        fade.startFadeIn();
        QCOMPARE(alphas(applied), QList<int>{0}); // fully transparent when first shown
        for (int tick = 1; tick <= 49; ++tick)
            fade.fadeStep();
        QCOMPARE(fade.opacityPercent(), 98);
        QVERIFY(fade.isRunning());
        fade.fadeStep(); // the 50th tick applies 98 % once more and stops
        QVERIFY(!fade.isRunning());
        QCOMPARE(applied.size(), 51);
        QCOMPARE(alphas(applied).at(1), 5);
        QCOMPARE(alphas(applied).at(5), 26);
        QCOMPARE(alphas(applied).at(25), 128);
        QCOMPARE(alphas(applied).constLast(), 250);
    }

    void exitDuringFadeInFadesOutFromWhereItStood() {
        WindowFade fade;
        QSignalSpy applied(&fade, &WindowFade::alphaChanged);
        QSignalSpy finished(&fade, &WindowFade::fadeOutFinished);
        fade.startFadeIn();
        for (int tick = 0; tick < 20; ++tick)
            fade.fadeStep();
        QCOMPARE(fade.opacityPercent(), 40);

        fade.requestExit();
        QVERIFY(fade.isClosing());
        applied.clear();
        for (int tick = 0; tick < 10; ++tick)
            fade.fadeStep();
        QCOMPARE(fade.opacityPercent(), 20);
        fade.requestExit(); // a second request changes nothing
        for (int tick = 0; tick < 10; ++tick)
            fade.fadeStep();
        QCOMPARE(fade.opacityPercent(), 0);
        QCOMPARE(applied.size(), 20);
        QCOMPARE(alphas(applied).constFirst(), WindowFade::alphaForPercent(38));
        QVERIFY(finished.isEmpty());
        fade.fadeStep(); // the next tick ends
        QCOMPARE(finished.size(), 1);
        QVERIFY(!fade.isRunning());
        fade.requestExit();
        QVERIFY(!fade.isRunning());
    }

    void closePictureFadesOutAndEndsOnce() {
        MainWindowRig main;
        MainWindow* window = main.open();
        auto* exitPicture = main.control<PressableLabel>("exit_img");
        QCOMPARE(exitPicture->toolTip(), QStringLiteral("Закрыть"));
        QCOMPARE(exitPicture->pixmap().toImage(),
                 titleLook(TitleGlyph::Close, TitleLook::Released, exitPicture));
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(window->windowOpacity() - 250 / 255.0) < 0.5 / 255, 5000);

        QSignalSpy ended(window, &MainWindow::programEnded);
        QTest::mousePress(exitPicture, Qt::LeftButton);
        QCOMPARE(exitPicture->pixmap().toImage(),
                 titleLook(TitleGlyph::Close, TitleLook::Pressed, exitPicture));
        QTest::mouseRelease(exitPicture, Qt::LeftButton);
        QCOMPARE(exitPicture->pixmap().toImage(),
                 titleLook(TitleGlyph::Close, TitleLook::Released, exitPicture));
        QVERIFY(ended.wait(5000));
        QCOMPARE(window->windowOpacity(), 0.0);
        QVERIFY(!window->isVisible());
        QVERIFY(!main.control<TrayArea>("TrayArea1")->isVisible());
        window->requestExit();
        QTest::qWait(50);
        QCOMPARE(ended.size(), 1);
    }

    void windowManagerCloseTakesTheExitRoad() {
        MainWindowRig main;
        MainWindow* window = main.open();
        QSignalSpy ended(window, &MainWindow::programEnded);
        window->close();
        QVERIFY(ended.wait(5000));
        QVERIFY(!main.control<TrayArea>("TrayArea1")->isVisible());
    }

    void dragsOnlyWithTheLeftButtonAlone() {
        MainWindowRig main;
        MainWindow* window = main.open();
        window->move(100, 100);
        QTRY_COMPARE(window->pos(), QPoint(100, 100));

        auto* caption = main.control<QLabel>("Label1");
        drag(caption, Qt::RightButton);
        QCOMPARE(window->pos(), QPoint(100, 100));

        QTest::mousePress(caption, Qt::LeftButton, {}, QPoint(5, 5));
        drag(caption, Qt::RightButton);
        QTest::mouseRelease(caption, Qt::LeftButton, {}, QPoint(45, 35));
        QCOMPARE(window->pos(), QPoint(100, 100));

        for (const char* surface : {"Image1", "Label5", "Label1", "Label2", "Label4"}) {
            const QPoint before = window->pos();
            drag(main.control<QWidget>(surface), Qt::LeftButton);
            QTRY_COMPARE(window->pos(), before + QPoint(40, 30));
        }

        // The boxes are no drag surface.
        const QPoint before = window->pos();
        drag(main.box("Text1"), Qt::LeftButton);
        QCOMPARE(window->pos(), before);
    }

    void hidesToTrayAndTrayLeftPressToggles() {
        MainWindowRig main;
        MainWindow* window = main.open();
        auto* minimise = main.control<PressableLabel>("img_min");
        QCOMPARE(minimise->toolTip(), QStringLiteral("В трей"));
        QTest::mousePress(minimise, Qt::RightButton);
        QCOMPARE(minimise->pixmap().toImage(),
                 titleLook(TitleGlyph::Minimise, TitleLook::Pressed, minimise));
        QTest::mouseRelease(minimise, Qt::RightButton);
        QCOMPARE(minimise->pixmap().toImage(),
                 titleLook(TitleGlyph::Minimise, TitleLook::Released, minimise));
        QVERIFY(window->isVisible()); // only a left click hides

        QTest::mouseClick(minimise, Qt::LeftButton);
        auto* tray = main.control<TrayArea>("TrayArea1");
        QVERIFY(tray->isVisible());
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            QVERIFY(!window->isVisible());
        } else {
            // Nowhere to hide to: the window must stay reachable.
            QVERIFY(window->isVisible());
            QVERIFY(window->isMinimized());
            window->showNormal();
        }

        tray->notify(TrayLeftDown);
        QVERIFY(!window->isVisible());
        tray->notify(TrayLeftUp);
        QVERIFY(!window->isVisible());
        tray->notify(TrayLeftDown);
        QVERIFY(window->isVisible());
        tray->notify(TrayLeftDown);
        QVERIFY(!window->isVisible());
        tray->notify(TrayRightDown);
        QVERIFY(!window->isVisible());
        tray->menu()->close();

        // Minimised, the window is out of sight: a left press brings it back.
        window->showMinimized();
        tray->notify(TrayLeftDown);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isMinimized());
        tray->notify(TrayLeftDown);
        QVERIFY(!window->isVisible());

        // "Развернуть" shows the window; "ВЫХОД" ends the program.
        QSignalSpy ended(window, &MainWindow::programEnded);
        triggerMenuEntry(*tray, QStringLiteral("Развернуть"));
        QVERIFY(window->isVisible());
        triggerMenuEntry(*tray, QStringLiteral("ВЫХОД"));
        QVERIFY(ended.wait(5000));
        QVERIFY(!tray->isVisible());
    }

    void developmentOpensOneAboutWindowWithWorkingLink() {
        MainWindowRig main;
        main.open();
        auto* development = main.control<VistaButton>("VistaButton1");
        QTest::mouseClick(development, Qt::LeftButton);
        QTest::mouseClick(development, Qt::LeftButton);
        const QList<AboutWindow*> abouts = visibleTopLevels<AboutWindow>();
        QCOMPARE(abouts.size(), 1);
        AboutWindow* about = abouts.first();
        QCOMPARE(about->windowTitle(), QStringLiteral("Development"));
        const auto labels = about->findChildren<QLabel*>();
        QStringList texts;
        for (const QLabel* label : labels)
            texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("Quillet Mirror v3.0b")));
        QVERIFY(texts.contains(QStringLiteral("Сайт:")));
        QVERIFY(texts.filter(QRegularExpression(QStringLiteral("^Авторы: .+"))).size() == 1);
        QVERIFY(texts.filter(QRegularExpression(QStringLiteral("^Email: .+@.+"))).size() == 1);
        QVERIFY(texts.filter(QRegularExpression(QStringLiteral("^ICQ: .+"))).size() == 1);

        auto* link = about->findChild<PressableLabel*>(QStringLiteral("Label4"));
        QCOMPARE(link->toolTip(), AboutWindow::SiteAddress);
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        QTest::mouseClick(link, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(m_openedUrls, QList<QUrl>{QUrl(AboutWindow::SiteAddress)});

        // Closed through its frame, the next click makes a new one.
        about->close();
        QTRY_COMPARE(visibleTopLevels<AboutWindow>().size(), 0);
        QTest::mouseClick(development, Qt::LeftButton);
        QCOMPARE(visibleTopLevels<AboutWindow>().size(), 1);
    }

private:
    QList<QUrl> m_openedUrls;
};

QM_TEST_MAIN(MainWindowFrameTest)
#include "main_window_frame_test.moc"
