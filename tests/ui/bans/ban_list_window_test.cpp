#include "controls/button/vista_button.h"
#include "core/bans/ip_address.h"
#include "support/file_helpers.h"
#include "support/test_main.h"
#include "support/top_levels.h"
#include "support/window_context.h"
#include "ui/bans/ban_address_dialog.h"
#include "ui/bans/ban_list_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

using namespace qm;
using namespace qm::test;

namespace {

const qint32 A = ipToNumber(u"1.1.1.1");
const qint32 B = ipToNumber(u"2.2.2.2");
const qint32 C = ipToNumber(u"3.3.3.3");

// The windows' context with a ban table of the given elements, as loaded.
struct Context : WindowContext {
    explicit Context(std::vector<qint32> elements = {0}) { storeBans(std::move(elements)); }
};

QByteArray records(std::initializer_list<qint32> numbers) {
    QByteArray bytes;
    for (const qint32 number : numbers)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(static_cast<char>((static_cast<quint32>(number) >> shift) & 0xff));
    return bytes;
}

QStringList rows(const BanListWindow& window) {
    QStringList texts;
    for (int row = 0; row < window.list()->count(); ++row)
        texts << window.list()->item(row)->text();
    return texts;
}

VistaButton* button(QWidget* window, const char* name) {
    return window->findChild<VistaButton*>(QLatin1String(name));
}

void selectRow(BanListWindow& window, int row) {
    QListWidget* list = window.list();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

QPointer<BanListWindow> openBanList(Context& c) {
    QPointer<BanListWindow> window = new BanListWindow(c.ctx);
    window->show();
    return window;
}

// Presses the named button and gives the address dialog it opened.
QPointer<BanAddressDialog> dialogFrom(BanListWindow* window, const char* buttonName) {
    button(window, buttonName)->Click();
    return visibleTopLevels<BanAddressDialog>().value(0);
}

void removeRow(BanListWindow& window, int row) {
    selectRow(window, row);
    button(&window, "VistaButton2")->Click();
}

void typeInto(BanAddressDialog* dialog, const QString& address) {
    const QStringList octets = address.split(QLatin1Char('.'));
    for (int k = 1; k <= 4; ++k)
        QTest::keyClicks(dialog->octetBox(k), octets.at(k - 1));
}

} // namespace

class BanListWindowTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheTableInOrderWithTabOrder() {
        Context c({A, B, C, 0});
        auto window = openBanList(c);
        QCOMPARE(window->windowTitle(), QStringLiteral("Бан лист"));
        QCOMPARE(rows(*window), QStringList({"1.1.1.1", "2.2.2.2", "3.3.3.3"}));
        QCOMPARE(window->selectedRow(), -1);

        QList<QWidget*> order;
        QWidget* first = button(window, "VistaButton1");
        for (QWidget* w = first; order.size() < 4; w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                order << w;
        QCOMPARE(order, QList<QWidget*>({first, button(window, "VistaButton2"),
                                         button(window, "VistaButton3"), window->list()}));
        QCOMPARE(button(window, "VistaButton2")->caption(), QStringLiteral("Удалить"));
        QCOMPARE(window->focusWidget(), first);
        window->close();
    }

    void removeMovesTheLastEntryIntoThePlace() {
        Context c({A, B, C, 0});
        auto window = openBanList(c);
        removeRow(*window, 1);
        QCOMPARE(rows(*window), QStringList({"1.1.1.1", "3.3.3.3"}));
        QCOMPARE(c.bans.table().elements(), std::vector<qint32>({A, C, C}));
        QCOMPARE(readBytes(c.banFile()), records({A, C, C}));
        QCOMPARE(window->selectedRow(), -1);
        window->close();

        Context d({A, B, C, 0});
        window = openBanList(d);
        removeRow(*window, 0);
        QCOMPARE(rows(*window), QStringList({"3.3.3.3", "2.2.2.2"}));
        QCOMPARE(readBytes(d.banFile()), records({C, B, C}));
        removeRow(*window, 0);
        QCOMPARE(rows(*window), QStringList({"2.2.2.2"}));
        removeRow(*window, 0);
        QVERIFY(rows(*window).isEmpty());
        QCOMPARE(readBytes(d.banFile()).size(), 4);

        // With nothing left or nothing selected, remove does nothing.
        button(window, "VistaButton2")->Click();
        QCOMPARE(d.bans.table().count(), 0);
        QVERIFY(d.messages.shown().isEmpty());
        window->close();
    }

    void failedRemoveIsToldAndUndone() {
        Context c({A, B, 0});
        QVERIFY(c.makeBanFileUnwritable());
        auto window = openBanList(c);
        removeRow(*window, 0);
        QCOMPARE(c.messages.shown().size(), 1);
        QCOMPARE(c.messages.shown().first().message.icon, MessageIcon::Critical);
        QCOMPARE(rows(*window), QStringList({"1.1.1.1", "2.2.2.2"}));
        QCOMPARE(c.bans.table().elements(), std::vector<qint32>({A, B, 0}));
        window->close();
    }

    void addShowsTheTextAsTypedUntilReopened() {
        Context c({A, 0});
        auto window = openBanList(c);
        QPointer<BanAddressDialog> dialog = dialogFrom(window, "VistaButton1");
        QVERIFY(dialog);
        QVERIFY(!window->isEnabled());
        QCOMPARE(dialog->pos() - window->pos(), QPoint(67, 67));
        QCOMPARE(dialog->applyButton()->caption(), QStringLiteral("Приминить"));
        typeInto(dialog, QStringLiteral("010.1.1.007"));
        dialog->applyButton()->Click();
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(window->isEnabled());
        QCOMPARE(rows(*window), QStringList({"1.1.1.1", "010.1.1.007"}));
        QCOMPARE(readBytes(c.banFile()), records({A, ipToNumber(u"10.1.1.7"), 0}));
        window->close();
        QTRY_VERIFY(window.isNull());

        window = openBanList(c);
        QCOMPARE(rows(*window), QStringList({"1.1.1.1", "10.1.1.7"}));
        window->close();
    }

    void changeRewritesTheSelectedRow() {
        Context c({A, B, 0});
        auto window = openBanList(c);
        selectRow(*window, 1);
        QPointer<BanAddressDialog> dialog = dialogFrom(window, "VistaButton3");
        QVERIFY(dialog);
        QCOMPARE(dialog->applyButton()->caption(), QStringLiteral("Изминить"));
        QCOMPARE(dialog->octetBox(1)->text(), QStringLiteral("2"));
        dialog->octetBox(4)->setText(QStringLiteral("9"));
        dialog->applyButton()->Click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(rows(*window), QStringList({"1.1.1.1", "2.2.2.9"}));
        QCOMPARE(readBytes(c.banFile()), records({A, ipToNumber(u"2.2.2.9"), 0}));
        window->close();
    }

    void changeWithoutSelectionAppends() {
        Context c({A, 0});
        auto window = openBanList(c);
        QPointer<BanAddressDialog> dialog = dialogFrom(window, "VistaButton3");
        QVERIFY(dialog);
        QCOMPARE(dialog->applyButton()->caption(), QStringLiteral("Изминить"));
        QCOMPARE(dialog->octetBox(1)->text(), QString());
        typeInto(dialog, QStringLiteral("5.5.5.5"));
        dialog->applyButton()->Click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(rows(*window), QStringList({"1.1.1.1", "5.5.5.5"}));
        QCOMPARE(c.bans.table().count(), 2);
        window->close();
    }

    void cancelGivesTheWindowBack() {
        Context c({A, 0});
        auto window = openBanList(c);
        const QByteArray stored = readBytes(c.banFile());
        QPointer<BanAddressDialog> dialog = dialogFrom(window, "VistaButton1");
        QVERIFY(dialog);
        dialog->cancelButton()->Click();
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(window->isEnabled());
        QCOMPARE(rows(*window), QStringList({"1.1.1.1"}));
        QCOMPARE(readBytes(c.banFile()), stored);
        window->close();
    }
};

QM_TEST_MAIN(BanListWindowTest)
#include "ban_list_window_test.moc"
