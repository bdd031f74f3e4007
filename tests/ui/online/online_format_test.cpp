#include "support/test_main.h"
#include "ui/online/online_format.h"

using namespace qm;

namespace {

QDateTime at(int year, int month, int day, int h, int m, int s) {
    return QDateTime(QDate(year, month, day), QTime(h, m, s));
}

} // namespace

class OnlineFormatTest : public QObject {
    Q_OBJECT
private slots:
    void connectedTimeCountsFromTheAcceptance_data() {
        QTest::addColumn<QDateTime>("accepted");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("shown");
        const QDateTime morning = at(2026, 3, 10, 10, 0, 0);
        QTest::newRow("just accepted") << morning << morning << "0:00:00";
        QTest::newRow("seconds and minutes borrow")
            << at(2026, 3, 10, 10, 59, 59) << at(2026, 3, 10, 11, 5, 8) << "0:05:09";
        QTest::newRow("across midnight")
            << at(2026, 3, 9, 23, 59, 50) << at(2026, 3, 10, 0, 0, 5) << "0:00:15";
        QTest::newRow("hours go past a day") << morning << at(2026, 3, 11, 12, 30, 0) << "26:30:00";
        QTest::newRow("a day exactly") << morning << at(2026, 3, 11, 10, 0, 0) << "24:00:00";
        QTest::newRow("across a month and a year")
            << at(2025, 12, 31, 23, 0, 0) << at(2026, 1, 1, 1, 0, 1) << "2:00:01";
        QTest::newRow("clock set back a second") << morning << morning.addSecs(-1) << "0:00:00";
        QTest::newRow("clock set back a day") << morning << morning.addDays(-1) << "0:00:00";
    }
    void connectedTimeCountsFromTheAcceptance() {
        QFETCH(QDateTime, accepted);
        QFETCH(QDateTime, now);
        QFETCH(QString, shown);
        QCOMPARE(connectedTime(accepted, now), shown);
    }

    void trafficScalesPast1024_data() {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing") << quint64(0) << "0.00 Byte";
        QTest::newRow("1024 is not scaled") << quint64(1024) << "1,024.00 Byte";
        QTest::newRow("1025 is") << quint64(1025) << "1.00 Kb  ";
        QTest::newRow("a megabyte in kilobytes") << quint64(1048576) << "1,024.00 Kb  ";
        QTest::newRow("just past a megabyte") << quint64(1048577) << "1.00 Mb  ";
        QTest::newRow("a half rounds up") << quint64(1152) << "1.13 Kb  ";
        QTest::newRow("below half rounds down") << quint64(1024 + 5) << "1.00 Kb  ";
        QTest::newRow("gigabytes stay the top unit")
            << quint64(2) * 1024 * 1024 * 1024 * 1024 << "2,048.00 Gb  ";
        QTest::newRow("the largest count, exactly")
            << std::numeric_limits<quint64>::max() << "17,179,869,184.00 Gb  ";
    }
    void trafficScalesPast1024() {
        QFETCH(quint64, bytes);
        QFETCH(QString, shown);
        QCOMPARE(scaledTraffic(bytes), shown);
    }

    void trafficFollowsTheUsersNumberFormat() {
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(scaledTraffic(1024, german), QStringLiteral("1.024,00 Byte"));
        QCOMPARE(scaledTraffic(1536 * 1024 + 1, german), QStringLiteral("1,50 Mb  "));
        QLocale plain = QLocale::c();
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        QCOMPARE(scaledTraffic(1024, plain), QStringLiteral("1024.00 Byte"));
    }
};

QM_TEST_MAIN(OnlineFormatTest)
#include "online_format_test.moc"
