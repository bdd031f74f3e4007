// Refusal lines under a flood: a bounded number of lines, the first refusal
// at once, and sums that name the count, the addresses and the one seen most.
#include "app/headless/refusal_summary.h"
#include "support/test_main.h"

#include <QSignalSpy>

using namespace qm;

class RefusalSummaryTest : public QObject {
    Q_OBJECT
private slots:
    void aFloodWritesALinePerPeriodPerReason() {
        QStringList lines;
        {
            RefusalSummary summary(
                {QStringLiteral("client %1 refused: %2"),
                 QStringLiteral("refused (%1): %2 in %3 s from %4, "
                                "most from %5 (%6)")},
                [&lines](const QString& line) { lines << line; }, 200);
            for (int i = 0; i < 5000; ++i)
                summary.add(i % 10 == 9 ? QStringLiteral("10.0.0.2") : QStringLiteral("10.0.0.1"),
                            QStringLiteral("banned"));
            summary.add(QStringLiteral("10.0.0.3"), QStringLiteral("no free slot"));
            QCOMPARE(lines, (QStringList{QStringLiteral("client 10.0.0.1 refused: banned"),
                                         QStringLiteral("client 10.0.0.3 refused: no free slot")}));
            QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 3, 5000);
            QVERIFY2(lines.at(2).startsWith(QStringLiteral("refused (banned): 4999 in 0.")) &&
                         lines.at(2).endsWith(
                             QStringLiteral("s from 2 addresses, most from 10.0.0.1 (4499)")),
                     qPrintable(lines.at(2)));

            // Quiet for a period: the next refusal is written at once again.
            QTest::qWait(600);
            QCOMPARE(lines.size(), 3);
            summary.add(QStringLiteral("10.0.0.4"), QStringLiteral("banned"));
            QCOMPARE(lines.last(), QStringLiteral("client 10.0.0.4 refused: banned"));
            summary.add(QStringLiteral("10.0.0.4"), QStringLiteral("banned"));
        }
        // What was still summed is written when the log goes.
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines.last().startsWith(QStringLiteral("refused (banned): 1 in ")));
    }
};

QM_TEST_MAIN_CORE(RefusalSummaryTest)
#include "refusal_summary_test.moc"
