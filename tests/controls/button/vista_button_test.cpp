#include "controls/button/button_skins.h"
#include "controls/button/vista_button.h"
#include "controls/tray/property_bag.h"
#include "support/test_main.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWindow>

using namespace qm;

namespace {

Face pc(int cell) {
    return {Strip::Pc, cell};
}
Face moves(int cell) {
    return {Strip::Moves, cell};
}
Face downs(int cell) {
    return {Strip::Downs, cell};
}

// A button on a window, with the pointer where the test puts it.
struct Fixture {
    QWidget window;
    VistaButton* button = new VistaButton(QStringLiteral("OK"), &window);
    QPoint pointer{-100, -100}; // in the button's own pixels

    Fixture() {
        button->setGeometry(10, 10, 100, 30);
        button->setPointerSource([this] { return button->mapToGlobal(pointer); });
        window.resize(200, 100);
        window.show();
    }

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton changed, Qt::MouseButtons held) {
        QMouseEvent event(type, at, button->mapToGlobal(at), changed, held, Qt::NoModifier);
        QCoreApplication::sendEvent(button, &event);
    }
    void moveTo(QPointF at, Qt::MouseButtons held = Qt::NoButton) {
        pointer = at.toPoint();
        mouse(QEvent::MouseMove, at, Qt::NoButton, held);
    }
    void press(QPointF at) { mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
    void release(QPointF at) {
        mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    void leave() {
        pointer = {150, 15};
        button->pointerPollTick();
    }
    void key(QEvent::Type type, int key, const QString& text) {
        QKeyEvent event(type, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(button, &event);
    }
    // Steps the animation to its end, returning the faces it painted.
    QList<Face> animate() {
        QList<Face> faces;
        for (int guard = 0; guard < 10 && button->moveInActive(); ++guard) {
            button->moveInTick();
            faces << button->face().face();
        }
        return faces;
    }
};

QColor captionColour(const VistaButton& button) {
    return button.captionLabel()->palette().color(QPalette::WindowText);
}

} // namespace

class VistaButtonTest : public QObject {
    Q_OBJECT
private slots:
    void paintsTheRestingCellOverTheWholeButton() {
        Fixture f;
        f.button->setCaption(QString());
        const QImage shot = f.button->grab().toImage();
        const QImage cell = buttonCell(Strip::Pc, PcNormal);
        QCOMPARE(shot.size(), QSize(100, 30));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x) {
                QCOMPARE(shot.pixelColor(x, y), cell.pixelColor(x, y));
                QCOMPARE(shot.pixelColor(97 + x, 27 + y), cell.pixelColor(15 + x, 18 + y));
            }
        }
        QCOMPARE(shot.pixelColor(50, 3), cell.pixelColor(9, 3));
        QCOMPARE(shot.pixelColor(50, 26), cell.pixelColor(9, 17));
    }

    void hoverInPaintsFiveFramesThenRests() {
        Fixture f;
        f.moveTo({50, 15});
        QVERIFY(f.button->pointerPollActive());
        QCOMPARE(f.animate(), QList<Face>({moves(0), moves(1), moves(2), moves(3), moves(4)}));
        QVERIFY(!f.button->moveInActive());
        f.moveTo({60, 15}); // still inside: no new animation
        QVERIFY(!f.button->moveInActive());
        f.button->pointerPollTick(); // pointer still over the button
        QVERIFY(f.button->pointerPollActive());
    }

    void clickShowsPressedThenTheReleaseFrames() {
        Fixture f;
        QSignalSpy clicks(f.button, &VistaButton::Click);
        f.moveTo({50, 15});
        f.animate();
        f.press({50, 15});
        QCOMPARE(f.button->face().face(), pc(PcPressed));
        f.release({50, 15});
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(f.animate(), QList<Face>({downs(0), downs(1), downs(2), downs(3), downs(4)}));
        QVERIFY(f.button->face().mouseInside);
        f.moveTo({52, 16});
        QVERIFY(!f.button->moveInActive());
    }

    void releaseDuringAnAnimationShowsTheHotFace() {
        Fixture f;
        f.moveTo({50, 15});
        f.press({50, 15});
        QVERIFY(!f.button->moveInActive()); // the press stopped the hover-in
        f.leave();
        QVERIFY(f.button->moveInActive()); // leaving while held starts the hover-out
        f.release({150, 15});
        QCOMPARE(f.button->face().face(), pc(PcHot));
        QVERIFY(!f.button->moveInActive());
    }

    void leavingMidHoverPlaysTheHoverOutFromItsFirstFrame() {
        Fixture f;
        QSignalSpy outs(f.button, &VistaButton::MouseOut);
        f.moveTo({50, 15});
        f.button->moveInTick();
        f.button->moveInTick();
        f.button->moveInTick();
        QCOMPARE(f.button->face().face(), moves(2));
        f.leave();
        QCOMPARE(outs.size(), 1);
        QVERIFY(!f.button->pointerPollActive());
        QCOMPARE(f.animate(), QList<Face>({moves(4), moves(3), moves(2), moves(1), moves(0)}));
    }

    void leaveNoticeEndsTheHoverLikeThePoll() {
        Fixture f;
        QSignalSpy outs(f.button, &VistaButton::MouseOut);
        f.moveTo({50, 15}); // the pointer source still says inside
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(f.button, &leave);
        QCOMPARE(outs.size(), 1);
        QVERIFY(!f.button->pointerPollActive());
        QCoreApplication::sendEvent(f.button, &leave); // poll already off: nothing more
        QCOMPARE(outs.size(), 1);
    }

    void pointerOnTheRightAndBottomEdgeIsInside() {
        Fixture f;
        f.moveTo({50, 15});
        f.pointer = {100, 30};
        f.button->pointerPollTick();
        QVERIFY(f.button->pointerPollActive());
        f.pointer = {101, 30};
        f.button->pointerPollTick();
        QVERIFY(!f.button->pointerPollActive());
    }

    void highlightedRestingFaceReturnsOnlyWithTheNextShowState() {
        Fixture f;
        f.button->setState(1);
        QCOMPARE(f.button->face().face(), pc(PcHighlighted));
        f.moveTo({50, 15});
        f.animate();
        f.leave();
        f.animate();
        QCOMPARE(f.button->face().face(), moves(0)); // the normal face, although State is 1
        f.button->resize(120, 30);
        QCOMPARE(f.button->face().face(), pc(PcHighlighted));

        f.button->setState(7);
        QCOMPARE(f.button->face().face(), pc(PcHighlighted));
        f.button->setState(0);
        f.button->setState(7);
        QCOMPARE(f.button->face().face(), pc(PcNormal));
        QCOMPARE(f.button->state(), 7);
    }

    void disablingGreysTheCaptionAndTheFace() {
        Fixture f;
        QCOMPARE(captionColour(*f.button), QColor(0, 0, 0));
        f.moveTo({50, 15});
        f.button->moveInTick();
        f.button->setEnabled(false);
        QCOMPARE(f.button->face().face(), pc(PcDisabled));
        QCOMPARE(captionColour(*f.button), QColor(161, 161, 146));
        // the running animation paints over the disabled face and its last frame stays
        QCOMPARE(f.animate().last(), moves(4));

        f.button->setEnabled(true);
        QCOMPARE(captionColour(*f.button), QColor(0, 0, 0));
        QCOMPARE(f.button->face().face(), pc(PcNormal));

        // A window disabling itself leaves its buttons' faces and captions alone.
        f.window.setEnabled(false);
        QCOMPARE(f.button->face().face(), pc(PcNormal));
        QCOMPARE(captionColour(*f.button), QColor(0, 0, 0));

        // The button's own flag written while its window is disabled still counts.
        f.button->setEnabled(false);
        f.window.setEnabled(true);
        QVERIFY(!f.button->isEnabled());
        QCOMPARE(f.button->face().face(), pc(PcDisabled));
        QCOMPARE(captionColour(*f.button), QColor(161, 161, 146));
    }

    void enterClicksAndEscapeDoesNot() {
        Fixture f;
        QSignalSpy clicks(f.button, &VistaButton::Click);
        QSignalSpy downs(f.button, &VistaButton::KeyDown);
        QSignalSpy presses(f.button, &VistaButton::KeyPress);
        QSignalSpy ups(f.button, &VistaButton::KeyUp);
        f.key(QEvent::KeyPress, Qt::Key_Escape, QStringLiteral("\x1b"));
        QCOMPARE(clicks.size(), 0);
        QCOMPARE(presses.takeFirst().at(0).toInt(), 27);
        f.key(QEvent::KeyPress, Qt::Key_Return, QStringLiteral("\r"));
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(downs.last().at(0).toInt(), 13);
        QCOMPARE(presses.takeFirst().at(0).toInt(), 13);
        f.key(QEvent::KeyRelease, Qt::Key_A, QStringLiteral("a"));
        QCOMPARE(ups.takeFirst(), QList<QVariant>({65, 0}));

        f.button->accessKeyPress(13);
        f.button->accessKeyPress(27);
        QCOMPARE(clicks.size(), 2);
    }

    void mouseMoveCountsInsideUpToTheFarEdges() {
        Fixture f;
        QSignalSpy moves(f.button, &VistaButton::MouseMove);
        f.moveTo({100, 30});
        QCOMPARE(moves.size(), 1);
        QCOMPARE(moves.takeFirst(), QList<QVariant>({0, 0, 100.f, 30.f}));
        f.moveTo({101, 30});
        QCOMPARE(moves.size(), 0);
        QVERIFY(f.button->pointerPollActive()); // a move outside still starts the poll
    }

    void pressAndReleaseEventsComeBeforePainting() {
        Fixture f;
        Face faceDuringDown;
        QList<QVariant> downArgs;
        connect(f.button, &VistaButton::MouseDown, [&](int b, int s, float x, float y) {
            faceDuringDown = f.button->face().face();
            downArgs = {b, s, x, y};
        });
        QSignalSpy clicks(f.button, &VistaButton::Click);
        QSignalSpy dbl(f.button, &VistaButton::DblClick);
        f.press({20, 10});
        QCOMPARE(faceDuringDown, pc(PcNormal));
        QCOMPARE(downArgs, QList<QVariant>({1, 0, 20.f, 10.f}));
        f.release({300, 10}); // released away from the button: no click
        QCOMPARE(clicks.size(), 0);

        // A click on the caption, routed by the window, is the button's click.
        const QPoint onCaption = f.button->captionLabel()->geometry().center();
        QVERIFY(f.button->captionLabel()->geometry().contains(onCaption));
        QWindow* window = f.window.windowHandle();
        const QPoint inWindow = f.button->mapTo(&f.window, onCaption);
        QTest::mouseClick(window, Qt::LeftButton, {}, inWindow);
        QCOMPARE(clicks.size(), 1);
        QTest::mouseDClick(window, Qt::LeftButton, {}, inWindow);
        QCOMPARE(dbl.size(), 0);
        QCOMPARE(clicks.size(), 3); // a double click is two clicks
    }

    void captionStaysCentred() {
        Fixture f;
        QLabel* label = f.button->captionLabel();
        const auto centred = [&] {
            return std::abs(label->geometry().center().x() - 50) <= 1 &&
                   std::abs(label->geometry().center().y() - 15) <= 1 &&
                   label->size() == label->sizeHint();
        };
        QVERIFY(centred());
        f.button->setCaption(QStringLiteral("Добавить новый адрес"));
        QVERIFY(centred());
        QFont big = f.button->font();
        big.setPointSize(big.pointSize() * 2);
        f.button->setFont(big);
        QCOMPARE(label->font(), big);
        QVERIFY(centred());
        QVERIFY(label->testAttribute(Qt::WA_TransparentForMouseEvents));
        QVERIFY(!label->autoFillBackground());
    }

    void aNewButtonShowsItsOwnNameInItsWindowsFont() {
        QWidget window;
        QFont windowFont = window.font();
        windowFont.setPointSize(13);
        window.setFont(windowFont);
        VistaButton button(&window);
        button.setObjectName(QStringLiteral("VistaButton1"));
        QCOMPARE(button.caption(), QStringLiteral("VistaButton1"));
        QCOMPARE(button.font(), windowFont);
        QCOMPARE(button.state(), 0);
        QVERIFY(button.isEnabled());
    }

    void storedPropertiesRoundTrip() {
        QWidget window;
        VistaButton button(&window);
        button.setObjectName(QStringLiteral("VistaButton2"));
        MemoryPropertyBag bag;
        button.writeProperties(bag);
        QCOMPARE(bag.size(), 0);

        bag.write(QStringLiteral("state"), 1, 0);
        bag.write(QStringLiteral("caption"), QStringLiteral("Бан"), QString());
        bag.write(QStringLiteral("ENABLED"), false, true);
        button.readProperties(bag);
        QCOMPARE(button.state(), 1);
        QCOMPARE(button.caption(), QStringLiteral("Бан"));
        QVERIFY(!button.isEnabled());
        button.setEnabled(true);
        QCOMPARE(button.face().face(), pc(PcHighlighted)); // a stored State 1 rests highlighted

        MemoryPropertyBag saved;
        button.writeProperties(saved);
        QCOMPARE(saved.size(), 2);
        QCOMPARE(saved.read(QStringLiteral("State"), 0).toInt(), 1);
        QVERIFY(!saved.contains(QStringLiteral("Enabled")));
    }

    void focusPaintsItsFaces() {
        Fixture f;
        f.button->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(f.button->face().face(), pc(PcHighlighted), 2000);
        f.button->clearFocus();
        QCOMPARE(f.button->face().face(), pc(PcNormal));
    }

    void realTimersRunTheAnimationAndStopThePoll() {
        Fixture f;
        f.moveTo({50, 15});
        f.pointer = {300, 300};
        QTRY_VERIFY_WITH_TIMEOUT(!f.button->pointerPollActive() && !f.button->moveInActive(), 3000);
        QCOMPARE(f.button->face().face(), moves(0));
    }
};

QM_TEST_MAIN(VistaButtonTest)
#include "vista_button_test.moc"
