#include "core/bans/ip_address.h"
#include "support/test_main.h"

using namespace qm;

class IpAddressTest : public QObject {
    Q_OBJECT
private slots:
    void convertsValidText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint32>("number");
        QTest::addColumn<QString>("normalised");
        QTest::newRow("private") << "192.168.0.1" << 16820416 << "192.168.0.1";
        QTest::newRow("high octet makes it negative") << "10.0.0.200" << -939524086 << "10.0.0.200";
        QTest::newRow("all ones") << "255.255.255.255" << -1 << "255.255.255.255";
        QTest::newRow("zero") << "0.0.0.0" << 0 << "0.0.0.0";
        QTest::newRow("leading zeros") << "001.002.003.004" << 67305985 << "1.2.3.4";
        QTest::newRow("octal-looking is decimal") << "010.000.000.001" << 0x0100000A << "10.0.0.1";
        QTest::newRow("blanks around fields") << " 1 . 2\t.3 .4 " << 0x04030201 << "1.2.3.4";
        QTest::newRow("long zero run") << "0000000000000000000001.2.3.4" << 0x04030201 << "1.2.3.4";
    }
    void convertsValidText() {
        QFETCH(QString, text);
        QFETCH(qint32, number);
        QFETCH(QString, normalised);
        QCOMPARE(ipToNumber(text), number);
        QCOMPARE(numberToIp(number), normalised);
    }

    void invalidTextGivesZero_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("three fields") << "1.2.3";
        QTest::newRow("octet above 255") << "1.2.3.256";
        QTest::newRow("empty field") << "1..3.4";
        QTest::newRow("trailing dot") << "1.2.3.";
        QTest::newRow("five fields") << "1.2.3.4.5";
        QTest::newRow("plus sign") << "+1.2.3.4";
        QTest::newRow("minus sign") << "1.-2.3.4";
        QTest::newRow("exponent") << "1e2.2.3.4";
        QTest::newRow("decimal comma") << "1,0.2.3.4";
        QTest::newRow("hex prefix") << "0x1.2.3.4";
        QTest::newRow("ampersand hex") << "&H1.2.3.4";
        QTest::newRow("blank inside digits") << "1 2.2.3.4";
        QTest::newRow("blank field") << "1. .3.4";
        QTest::newRow("huge number") << "1.2.3.99999999999999999999";
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("1.2.3.\u0664");
        QTest::newRow("host name") << "localhost";
    }
    void invalidTextGivesZero() {
        QFETCH(QString, text);
        QCOMPARE(ipToNumber(text), 0);
    }

    void everyNumberSurvivesTheRoundTrip() {
        for (const qint32 number : {0, 1, -1, 16820416, -939524086, INT_MIN, INT_MAX, 0x00FF00FF})
            QCOMPARE(ipToNumber(numberToIp(number)), number);
    }
};

QM_TEST_MAIN_CORE(IpAddressTest)
#include "ip_address_test.moc"
