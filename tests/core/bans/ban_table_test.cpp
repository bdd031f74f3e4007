#include "core/bans/ban_table.h"
#include "support/test_main.h"

using namespace qm;

namespace {

std::vector<qint32> elementsOf(const BanTable& table) {
    return table.elements();
}

} // namespace

class BanTableTest : public QObject {
    Q_OBJECT
private slots:
    void appendFillsTheSpareAndAddsAZeroSpare() {
        BanTable table;
        QCOMPARE(table.count(), 0);
        QVERIFY(table.append(7));
        QVERIFY(table.append(9));
        QCOMPARE(elementsOf(table), (std::vector<qint32>{7, 9, 0}));
        QCOMPARE(table.count(), 2);
    }

    void lookUpFindsTheFirstEqualBanButNeverTheSpare() {
        BanTable table;
        table.setElements({5, 6, 5, 42});
        QCOMPARE(table.indexOf(5), 0);
        QCOMPARE(table.indexOf(6), 1);
        QCOMPARE(table.indexOf(42), -1);  // 42 sits in the spare
        QVERIFY(!BanTable().contains(0)); // the empty table's spare holds 0
    }

    void removeMovesTheLastBanIntoTheGapAndLeavesAStaleSpare() {
        BanTable table;
        table.setElements({'A', 'B', 'C', 'S'});
        table.remove(0);
        QCOMPARE(elementsOf(table), (std::vector<qint32>{'C', 'B', 'C'}));
        QCOMPARE(table.count(), 2);
        QCOMPARE(table.indexOf('C'), 0);

        table.remove(1); // the last ban: nothing moves
        QCOMPARE(elementsOf(table), (std::vector<qint32>{'C', 'B'}));
        QVERIFY(!table.contains('B')); // only the stale spare holds it

        table.remove(0);
        QCOMPARE(elementsOf(table), (std::vector<qint32>{'C'}));
        QCOMPARE(table.count(), 0);
        QVERIFY(!table.contains('C'));
    }

    void outOfRangeIndicesChangeNothing() {
        BanTable table;
        table.setElements({1, 2, 3});
        for (const int k : {-1, 2, 3, 1000}) {
            table.replace(k, 99);
            table.remove(k);
        }
        QCOMPARE(elementsOf(table), (std::vector<qint32>{1, 2, 3}));
        table.replace(1, 99);
        QCOMPARE(elementsOf(table), (std::vector<qint32>{1, 99, 3}));
    }

    void appendStopsAtTheLimit() {
        BanTable table;
        std::vector<qint32> full(BanTable::MaxBans + 1, 1);
        table.setElements(full);
        QVERIFY(!table.append(2));
        QCOMPARE(table.count(), BanTable::MaxBans);
        table.remove(0);
        QVERIFY(table.append(2));
        QCOMPARE(table.at(BanTable::MaxBans - 1), 2);
    }

    void emptyElementsStillLeaveTheSpare() {
        BanTable table;
        table.setElements({});
        QCOMPARE(elementsOf(table), (std::vector<qint32>{0}));
    }
};

QM_TEST_MAIN_CORE(BanTableTest)
#include "ban_table_test.moc"
