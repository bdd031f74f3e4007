#include "controls/button/vista_button.h"
#include "core/bans/ip_address.h"
#include "support/file_helpers.h"
#include "support/test_main.h"
#include "support/window_context.h"
#include "ui/bans/ban_address_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>

using namespace qm;
using namespace qm::test;

namespace {

const QString RangeMessage = QStringLiteral("IP адрес может быть только 1 - 255");

// Types into whichever widget of the window has the focus at each key, as a
// keyboard would: the release goes where the focus is after the press.
void type(QWidget* window, const QString& text) {
    for (const QChar ch : text) {
        QTest::keyPress(window->focusWidget(), ch.toLatin1());
        QTest::keyRelease(window->focusWidget(), ch.toLatin1());
    }
}

QPointer<BanAddressDialog> openDialog(WindowContext& c, int n) {
    QPointer<BanAddressDialog> dialog = new BanAddressDialog(c.ctx, n);
    dialog->show();
    return dialog;
}

QStringList boxTexts(const BanAddressDialog& dialog) {
    QStringList texts;
    for (int k = 1; k <= 4; ++k)
        texts << dialog.octetBox(k)->text();
    return texts;
}

} // namespace

class BanAddressDialogTest : public QObject {
    Q_OBJECT
private slots:
    void threeDigitsOrADotMoveToTheNextBox() {
        WindowContext c;
        auto dialog = openDialog(c, -1);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Добавить IP в бан лист"));
        QCOMPARE(dialog->applyButton()->caption(), QStringLiteral("Приминить"));
        dialog->octetBox(2)->setText(QStringLiteral("55"));
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(1));

        type(dialog, QStringLiteral("192"));
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(2));
        QCOMPARE(dialog->octetBox(2)->selectedText(), QStringLiteral("55"));

        // Typing replaces the selected text; a dot moves on and never lands.
        type(dialog, QStringLiteral("1."));
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(3));
        type(dialog, QStringLiteral("0.1."));
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(4));
        QCOMPARE(boxTexts(*dialog), QStringList({"192", "1", "0", "1"}));

        // In the last box the dot is only swallowed; three digits go to apply.
        type(dialog, QStringLiteral("."));
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(4));
        type(dialog, QStringLiteral("00"));
        QCOMPARE(dialog->octetBox(4)->text(), QStringLiteral("100"));
        QCOMPARE(dialog->focusWidget(), dialog->applyButton());
        dialog->close();
    }

    void tabOrderAndShiftTabIntoAFullBox() {
        WindowContext c;
        auto dialog = openDialog(c, -1);
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QList<QWidget*> order;
        for (QWidget* w = dialog->octetBox(1); order.size() < 6; w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                order << w;
        QCOMPARE(order, QList<QWidget*>({dialog->octetBox(1), dialog->octetBox(2),
                                         dialog->octetBox(3), dialog->octetBox(4),
                                         dialog->applyButton(), dialog->cancelButton()}));

        type(dialog, QStringLiteral("192"));
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(2));
        // Shift+Tab lands in box 1, whose three characters send the focus
        // forward again when the key comes up.
        QTest::keyPress(dialog->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(1));
        QTest::keyRelease(dialog->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(2));
        dialog->close();
    }

    void changeCheckEmptiesBadBoxes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("rangeMessage");
        QTest::newRow("0 passes") << "0"
                                  << "0" << false;
        QTest::newRow("255 passes") << "255"
                                    << "255" << false;
        QTest::newRow("leading zeros pass") << "007"
                                            << "007" << false;
        QTest::newRow("a blank after digits passes") << "9 "
                                                     << "9 " << false;
        QTest::newRow("256 is out of range") << "256"
                                             << "" << true;
        QTest::newRow("300 is out of range") << "300"
                                             << "" << true;
        QTest::newRow("a lone minus goes before its digits") << "-1"
                                                             << "1" << false;
        QTest::newRow("a letter goes silently") << "a"
                                                << "" << false;
        QTest::newRow("a letter after digits goes too") << "12x"
                                                        << "" << false;
        QTest::newRow("a blank between digits") << "1 2"
                                                << "" << false;
        QTest::newRow("a lone sign") << "-"
                                     << "" << false;
    }
    void changeCheckEmptiesBadBoxes() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(bool, rangeMessage);
        WindowContext c;
        auto dialog = openDialog(c, -1);
        QTest::keyClicks(dialog->octetBox(3), typed);
        QCOMPARE(dialog->octetBox(3)->text(), kept);
        QCOMPARE(c.messages.texts(), rangeMessage ? QStringList{RangeMessage} : QStringList{});
        if (rangeMessage)
            QCOMPARE(c.messages.shown().first().message.icon, MessageIcon::None);
        dialog->close();
    }

    void changeCheckAlsoRunsOnTextSetByTheProgram() {
        WindowContext c;
        auto dialog = openDialog(c, -1);
        dialog->octetBox(1)->setText(QStringLiteral(" 9 "));
        dialog->octetBox(2)->setText(QStringLiteral("-5"));
        dialog->octetBox(3)->setText(QStringLiteral("   "));
        QCOMPARE(boxTexts(*dialog), QStringList({" 9 ", "", "", ""}));
        QCOMPARE(c.messages.texts(), QStringList{RangeMessage});
        dialog->close();
    }

    void applyAddsTheAddressAndSaves() {
        WindowContext c;
        auto dialog = openDialog(c, -1);
        QSignalSpy added(dialog.data(), &BanAddressDialog::rowAdded);
        type(dialog, QStringLiteral("10.0.0.1"));
        dialog->applyButton()->Click();
        QCOMPARE(added.size(), 1);
        QCOMPARE(added.first().first().toString(), QStringLiteral("10.0.0.1"));
        QCOMPARE(c.bans.table().count(), 1);
        QCOMPARE(readBytes(c.banFile()), QByteArray::fromHex("0a00000100000000"));
        QVERIFY(c.messages.shown().isEmpty());
        QTRY_VERIFY(dialog.isNull());
    }

    void applyRefusesAnIncompleteAddress() {
        WindowContext c;
        auto dialog = openDialog(c, -1);
        type(dialog, QStringLiteral("1..3.4"));
        QCOMPARE(boxTexts(*dialog), QStringList({"1", "", "3", "4"}));
        dialog->applyButton()->Click();
        QCOMPARE(c.messages.texts(), QStringList({"Введите все четыре числа IP адреса"}));
        QCOMPARE(c.bans.table().count(), 0);
        QVERIFY(!QFile::exists(c.banFile()));
        QTest::qWait(20);
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), dialog->octetBox(2));
        dialog->close();
    }

    void applyOfABannedAddressOnlyTells() {
        WindowContext c;
        c.bans.add(ipToNumber(u"10.0.0.1"));
        const QByteArray stored = readBytes(c.banFile());
        auto dialog = openDialog(c, -1);
        type(dialog, QStringLiteral("10.0.0.01"));
        dialog->applyButton()->Click();
        QCOMPARE(c.messages.shown().size(), 1);
        QCOMPARE(c.messages.shown().first().message.icon, MessageIcon::Information);
        QCOMPARE(c.bans.table().count(), 1);
        QCOMPARE(readBytes(c.banFile()), stored);
        QTRY_VERIFY(dialog.isNull());
    }

    // In the buttons' own 8.25-point font both captions keep clear of the
    // outline of the narrow apply button.
    void applyCaptionsKeepClearOfTheOutline() {
        WindowContext c;
        auto dialog = openDialog(c, -1);
        VistaButton* apply = dialog->applyButton();
        const QLabel* caption = apply->findChild<QLabel*>();
        QCOMPARE(caption->font().pixelSize(), 11);
        for (const QString& text : {QStringLiteral("Приминить"), QStringLiteral("Изминить")}) {
            dialog->setApplyCaption(text);
            QVERIFY2(caption->x() >= 3 && caption->geometry().right() <= apply->width() - 4,
                     qPrintable(QStringLiteral("%1 is %2 px wide in %3 px")
                                    .arg(text)
                                    .arg(caption->width())
                                    .arg(apply->width())));
        }
        dialog->close();
    }

    void changeModeFillsTheBoxesAndReplaces() {
        WindowContext c;
        c.bans.add(ipToNumber(u"192.168.0.1"));
        c.bans.add(ipToNumber(u"10.0.0.1"));
        auto dialog = openDialog(c, 1);
        QCOMPARE(boxTexts(*dialog), QStringList({"10", "0", "0", "1"}));
        QVERIFY(c.messages.shown().isEmpty());

        // Unchanged, the entry itself is found.
        dialog->applyButton()->Click();
        QCOMPARE(c.messages.shown().size(), 1);
        QTRY_VERIFY(dialog.isNull());

        dialog = openDialog(c, 1);
        QSignalSpy changed(dialog.data(), &BanAddressDialog::rowChanged);
        dialog->octetBox(4)->setFocus();
        dialog->octetBox(4)->selectAll();
        type(dialog, QStringLiteral("9"));
        dialog->applyButton()->Click();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toInt(), 1);
        QCOMPARE(changed.first().at(1).toString(), QStringLiteral("10.0.0.9"));
        QCOMPARE(c.bans.table().elements(),
                 std::vector<qint32>({ipToNumber(u"192.168.0.1"), ipToNumber(u"10.0.0.9"), 0}));
        QCOMPARE(readBytes(c.banFile()).size(), 12);
    }

    void cancelChangesNothing() {
        WindowContext c;
        auto dialog = openDialog(c, -1);
        type(dialog, QStringLiteral("1.2.3.4"));
        dialog->cancelButton()->Click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(c.bans.table().count(), 0);
        QVERIFY(!QFile::exists(c.banFile()));
    }

    void aFullTableIsTold() {
        WindowContext c;
        std::vector<qint32> full(BanTable::MaxBans + 1, 0);
        for (int k = 0; k < BanTable::MaxBans; ++k)
            full[static_cast<size_t>(k)] = k + 1;
        QVERIFY(c.storeBans(full));
        const QByteArray stored = readBytes(c.banFile());
        auto dialog = openDialog(c, -1);
        type(dialog, QStringLiteral("1.2.3.4"));
        dialog->applyButton()->Click();
        QCOMPARE(c.messages.shown().size(), 1);
        QCOMPARE(c.bans.table().elements(), full);
        QCOMPARE(readBytes(c.banFile()), stored);
        QVERIFY(dialog && dialog->isVisible());
        dialog->close();
    }

    void failedSaveKeepsTheDialogAndTheTable() {
        WindowContext c;
        c.bans.add(ipToNumber(u"192.168.0.1"));
        QVERIFY(c.makeBanFileUnwritable());
        auto dialog = openDialog(c, -1);
        QSignalSpy added(dialog.data(), &BanAddressDialog::rowAdded);
        type(dialog, QStringLiteral("1.2.3.4"));
        dialog->applyButton()->Click();
        QCOMPARE(c.messages.shown().size(), 1);
        QCOMPARE(c.messages.shown().first().message.icon, MessageIcon::Critical);
        QCOMPARE(added.size(), 0);
        QCOMPARE(c.bans.table().elements(), std::vector<qint32>({ipToNumber(u"192.168.0.1"), 0}));
        QTest::qWait(20);
        QVERIFY(dialog && dialog->isVisible());
        dialog->close();
    }
};

QM_TEST_MAIN(BanAddressDialogTest)
#include "ban_address_dialog_test.moc"
