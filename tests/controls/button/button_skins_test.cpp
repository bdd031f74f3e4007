#include "controls/button/button_skins.h"
#include "controls/button/nine_slice.h"
#include "support/test_main.h"

#include <QPainter>

using namespace qm;

namespace {

QColor at(Strip strip, int cell, int x, int y) {
    return buttonCell(strip, cell).pixelColor(x, y);
}

// The source pixel a nearest-pixel stretch from `from` to `to` pixels shows at d.
int stretched(int d, int from, int to) {
    return int((d + 0.5) * from / to);
}

} // namespace

class ButtonSkinsTest : public QObject {
    Q_OBJECT
private slots:
    void stripsHaveFiveCellsOfEighteenByTwentyOne() {
        for (Strip strip : {Strip::Pc, Strip::Moves, Strip::Downs})
            QCOMPARE(buttonStrip(strip).size(), QSize(90, 21));
        QCOMPARE(buttonCell(Strip::Pc, 4).size(), QSize(18, 21));
    }

    void staticFacesCarryTheirTellingColours() {
        // outline at the top edge, ring just inside it, fill at top and bottom
        QCOMPARE(at(Strip::Pc, 0, 9, 0), QColor(142, 143, 143));
        QCOMPARE(at(Strip::Pc, 0, 9, 2), QColor(240, 240, 240));
        QCOMPARE(at(Strip::Pc, 0, 9, 18), QColor(215, 215, 215));

        QCOMPARE(at(Strip::Pc, 1, 9, 0), QColor(33, 73, 104));
        QCOMPARE(at(Strip::Pc, 1, 9, 1), QColor(43, 145, 197));
        QCOMPARE(at(Strip::Pc, 1, 9, 2), QColor(193, 227, 246));
        QCOMPARE(at(Strip::Pc, 1, 9, 18), QColor(151, 209, 240));

        QCOMPARE(at(Strip::Pc, 2, 9, 0), QColor(173, 178, 181));
        QCOMPARE(at(Strip::Pc, 2, 9, 2), QColor(244, 244, 244));
        QCOMPARE(at(Strip::Pc, 2, 9, 18), QColor(244, 244, 244));

        QCOMPARE(at(Strip::Pc, 3, 0, 10), QColor(60, 127, 177));
        QCOMPARE(at(Strip::Pc, 3, 1, 10), QColor(218, 240, 252));
        QCOMPARE(at(Strip::Pc, 3, 9, 2), QColor(223, 242, 252));
        QCOMPARE(at(Strip::Pc, 3, 9, 18), QColor(169, 220, 248));

        QCOMPARE(at(Strip::Pc, 4, 9, 1), QColor(4, 204, 254));
        QCOMPARE(at(Strip::Pc, 4, 9, 0), at(Strip::Pc, 0, 9, 0));
        QCOMPARE(at(Strip::Pc, 4, 9, 10), at(Strip::Pc, 0, 9, 10));
    }

    void outermostCornersLieOutsideTheBorder() {
        for (int cell = 0; cell < SkinCellCount; ++cell) {
            for (QPoint corner : {QPoint(0, 0), QPoint(17, 0), QPoint(0, 20), QPoint(17, 20)}) {
                QCOMPARE(at(Strip::Pc, cell, corner.x(), corner.y()), QColor(221, 215, 197));
                QCOMPARE(at(Strip::Moves, cell, corner.x(), corner.y()), QColor(255, 255, 255));
                QCOMPARE(at(Strip::Downs, cell, corner.x(), corner.y()), QColor(255, 255, 255));
            }
        }
    }

    void animationFramesBlendFromTheFirstFaceToTheLast() {
        // Same faces as the static strip, apart from the corner background.
        QCOMPARE(at(Strip::Moves, 0, 9, 10), at(Strip::Pc, 0, 9, 10));
        QCOMPARE(at(Strip::Moves, 4, 9, 10), at(Strip::Pc, 3, 9, 10));
        QCOMPARE(at(Strip::Downs, 0, 9, 10), at(Strip::Pc, 1, 9, 10));
        QCOMPARE(at(Strip::Downs, 4, 0, 10), at(Strip::Pc, 3, 0, 10));
        // Every step moves the outline the same way.
        for (Strip strip : {Strip::Moves, Strip::Downs}) {
            for (int frame = 1; frame < SkinCellCount; ++frame) {
                const QColor before = at(strip, frame - 1, 9, 0);
                const QColor now = at(strip, frame, 9, 0);
                const QColor last = at(strip, SkinCellCount - 1, 9, 0);
                QVERIFY(std::abs(now.blue() - last.blue()) < std::abs(before.blue() - last.blue()));
            }
        }
    }

    void nineSliceKeepsCornersAndStretchesTheRest() {
        const QImage cell = buttonCell(Strip::Pc, 0);
        QImage button(100, 30, QImage::Format_RGB32);
        button.fill(Qt::black);
        {
            QPainter painter(&button);
            drawNineSlice(painter, cell, button.rect());
        }
        // 3-pixel corners copied unchanged
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x) {
                QCOMPARE(button.pixelColor(x, y), cell.pixelColor(x, y));
                QCOMPARE(button.pixelColor(97 + x, y), cell.pixelColor(15 + x, y));
                QCOMPARE(button.pixelColor(x, 27 + y), cell.pixelColor(x, 18 + y));
                QCOMPARE(button.pixelColor(97 + x, 27 + y), cell.pixelColor(15 + x, 18 + y));
            }
        }
        // 94 x 24 centre stretched from the 12 x 15 centre, pixel by pixel
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 94; ++x) {
                const QColor expected =
                    cell.pixelColor(3 + stretched(x, 12, 94), 3 + stretched(y, 15, 24));
                QCOMPARE(button.pixelColor(3 + x, 3 + y), expected);
            }
        }
        // edges stretch along their length only
        for (int y = 3; y < 27; ++y) {
            QCOMPARE(button.pixelColor(0, y), cell.pixelColor(0, 3 + stretched(y - 3, 15, 24)));
            QCOMPARE(button.pixelColor(99, y), cell.pixelColor(17, 3 + stretched(y - 3, 15, 24)));
        }
        for (int x = 3; x < 97; ++x) {
            QCOMPARE(button.pixelColor(x, 0), cell.pixelColor(3 + stretched(x - 3, 12, 94), 0));
            QCOMPARE(button.pixelColor(x, 29), cell.pixelColor(3 + stretched(x - 3, 12, 94), 20));
        }
    }
};

QM_TEST_MAIN(ButtonSkinsTest)
#include "button_skins_test.moc"
