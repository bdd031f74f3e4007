#include "controls/qt_message_boxes.h"
#include "support/test_main.h"
#include "support/top_levels.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace qm;
using qm::test::visibleTopLevels;

class QtMessageBoxesTest : public QObject {
    Q_OBJECT
private slots:
    void networkMessagesOpenWithoutBlockingAndDoNotPileUp() {
        QtMessageBoxes boxes;
        QWidget window;
        window.show();
        boxes.show(&window,
                   {QStringLiteral("Сервер недоступен"), MessageIcon::Critical, false, {}});
        boxes.show(&window,
                   {QStringLiteral("Сервер недоступен"), MessageIcon::Critical, false, {}});
        QList<QMessageBox*> open = visibleTopLevels<QMessageBox>();
        QCOMPARE(open.size(), 1);
        QMessageBox* box = open.first();
        QCOMPARE(box->windowTitle(), QStringLiteral("Quillet mirror"));
        QCOMPARE(box->text(), QStringLiteral("Сервер недоступен"));
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QVERIFY(!box->isModal() || box->windowModality() != Qt::ApplicationModal);

        boxes.show(&window, {QStringLiteral("другой текст"), MessageIcon::None, false, {}});
        QCOMPARE(visibleTopLevels<QMessageBox>().size(), 2);

        // Once answered, the same text may come again.
        box->button(QMessageBox::Ok)->click();
        QTRY_COMPARE_WITH_TIMEOUT(visibleTopLevels<QMessageBox>().size(), 1, 2000);
        boxes.show(&window,
                   {QStringLiteral("Сервер недоступен"), MessageIcon::Critical, false, {}});
        QCOMPARE(visibleTopLevels<QMessageBox>().size(), 2);
        for (QMessageBox* left : visibleTopLevels<QMessageBox>())
            left->close();
    }

    void userMessagesAreModalUntilAnswered() {
        QtMessageBoxes boxes;
        QString seenTitle;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        bool wasModal = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenTitle = box->windowTitle();
            seenIcon = box->icon();
            wasModal = box->isModal();
            box->button(QMessageBox::Ok)->click();
        });
        boxes.show(nullptr,
                   {QStringLiteral("Введён неверный IP"), MessageIcon::Information, true, {}});
        QCOMPARE(seenTitle, QStringLiteral("Quillet mirror"));
        QCOMPARE(seenIcon, QMessageBox::Information);
        QVERIFY(wasModal);
        QVERIFY(visibleTopLevels<QMessageBox>().isEmpty());
    }
};

QM_TEST_MAIN(QtMessageBoxesTest)
#include "qt_message_boxes_test.moc"
