#include "core/bans/ban6_file.h"
#include "core/bans/ip_address.h"
#include "support/file_helpers.h"
#include "support/test_main.h"

#include <QTemporaryDir>

using namespace qm;
using namespace qm::test;

class Ban6FileTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("ban6.dat"));
        QFile::remove(m_path);
        QFile::remove(m_path + QStringLiteral(".bad"));
    }

    void recordsAreSixteenBytesInNetworkOrderWithoutSpare() {
        Ban6Table table;
        QVERIFY(table.append(*ipv6FromText(u"2001:db8::5")));
        QVERIFY(table.append(*ipv6FromText(u"::1")));
        QVERIFY(saveBan6Table(table, m_path));
        const QByteArray expected = QByteArray::fromHex("20010db8000000000000000000000005"
                                                        "00000000000000000000000000000001");
        QCOMPARE(readBytes(m_path), expected);

        QString problem = QStringLiteral("stale");
        const Ban6Table loaded = loadBan6File(m_path, &problem);
        QVERIFY(problem.isEmpty());
        QCOMPARE(loaded.count(), 2);
        QCOMPARE(ipv6ToText(loaded.at(0)), QStringLiteral("2001:db8::5"));
        QVERIFY(loaded.contains(*ipv6FromText(u"0:0:0:0:0:0:0:1")));
        QVERIFY(!loaded.contains(*ipv6FromText(u"::2"))); // all 128 bits count

        QVERIFY(writeBytes(m_path, QByteArray()));
        QCOMPARE(loadBan6File(m_path).count(), 0); // empty is an empty list, kept
        QVERIFY(QFile::exists(m_path));
    }

    void fileOfBadLengthIsSetAsideAndSaid() {
        const QByteArray bytes(17, '\x01');
        QVERIFY(writeBytes(m_path, bytes));
        QString problem;
        QCOMPARE(loadBan6File(m_path, &problem).count(), 0);
        QVERIFY(!QFile::exists(m_path));
        QCOMPARE(readBytes(m_path + QStringLiteral(".bad")), bytes);
        QVERIFY2(problem.contains(QStringLiteral("ban6.dat.bad")), qPrintable(problem));
    }

    void addressTextOfEitherFamily() {
        QCOMPARE(ipv6ToText(*ipv6FromText(u" 2001:DB8:0:0:1:0:0:1 ")),
                 QStringLiteral("2001:db8::1:0:0:1"));
        QVERIFY(!ipv6FromText(u"1.2.3.4"));
        QVERIFY(!ipv6FromText(u"1::2::3"));

        const IpAddress mapped = ipAddressFromText(u"::ffff:10.0.0.7");
        QVERIFY(!mapped.isIpv6);
        QCOMPARE(ipAddressText(mapped), QStringLiteral("10.0.0.7"));
        const IpAddress dotted = ipAddressFromText(u" 010.0.0.7");
        QVERIFY(!dotted.isIpv6);
        QCOMPARE(dotted.ipv4, ipToNumber(u"10.0.0.7"));
        const IpAddress v6 = ipAddressFromText(u"::1");
        QVERIFY(v6.isIpv6);
        QCOMPARE(ipAddressText(v6), QStringLiteral("::1"));
    }
};

QM_TEST_MAIN_CORE(Ban6FileTest)
#include "ban6_file_test.moc"
