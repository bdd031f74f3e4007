#include "core/settings/ini_values.h"
#include "support/test_main.h"

using namespace qm;

class IniValuesTest : public QObject {
    Q_OBJECT
private slots:
    void portsRoundHalfToEven_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("as written") << " 9730" << 9730;
        QTest::newRow("leading blanks and tab") << " \t 40000" << 40000;
        QTest::newRow("half down to even") << "9730.5" << 9730;
        QTest::newRow("half up to even") << "9731.5" << 9732;
        QTest::newRow("above half") << "9730.51" << 9731;
        QTest::newRow("negative half") << "-2.5" << -2;
        QTest::newRow("negative kept") << "-80" << -80;
        QTest::newRow("above 65535 kept") << "70000" << 70000;
        QTest::newRow("plus sign") << "+81" << 81;
        QTest::newRow("exponent") << "1e3" << 1000;
        QTest::newRow("bare fraction") << ".6" << 1;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("word") << "abc" << 0;
        QTest::newRow("trailing junk") << "9730abc" << 0;
        QTest::newRow("decimal comma") << "9730,5" << 0;
        QTest::newRow("hex") << "0x10" << 0;
        QTest::newRow("inner blank") << "97 30" << 0;
        QTest::newRow("NUL inside") << QString::fromLatin1("97\0"
                                                           "30",
                                                           5)
                                    << 0;
        QTest::newRow("sign alone") << "-" << 0;
        QTest::newRow("dot alone") << "." << 0;
        QTest::newRow("bad exponent") << "1e" << 0;
        QTest::newRow("infinity") << "inf" << 0;
        QTest::newRow("beyond 32 bits") << "1e10" << 0;
        QTest::newRow("overflowing exponent") << "1e999" << 0;
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661\u0662") << 0;
    }
    void portsRoundHalfToEven() {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(portFromIni(text), port);
    }

    void autoStartIsASigned16BitNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("rounds to one") << "1.4" << 1;
        QTest::newRow("half to even zero") << "0.5" << 0;
        QTest::newRow("minus one") << "-1" << -1;
        QTest::newRow("five") << " 5" << 5;
        QTest::newRow("yes") << "yes" << 0;
        QTest::newRow("lowest") << "-32768" << -32768;
        QTest::newRow("highest") << "32767.4" << 32767;
        QTest::newRow("rounds past the top") << "32767.5" << 0;
        QTest::newRow("below range") << "-32769" << 0;
    }
    void autoStartIsASigned16BitNumber() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(int(autoStartFromIni(text)), value);
    }

    void strFormLeadsNonNegativeNumbersWithABlank_data() {
        QTest::addColumn<float>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("port") << 9730.0f << " 9730";
        QTest::newRow("fraction") << 9730.5f << " 9730.5";
        QTest::newRow("zero") << 0.0f << " 0";
        QTest::newRow("negative zero") << -0.0f << " 0";
        QTest::newRow("negative") << -5.0f << "-5";
        QTest::newRow("single precision") << 0.1f << " 0.1";
        QTest::newRow("seven digits") << 9730.123f << " 9730.123";
        QTest::newRow("largest port") << 65535.0f << " 65535";
    }
    void strFormLeadsNonNegativeNumbersWithABlank() {
        QFETCH(float, number);
        QFETCH(QString, text);
        QCOMPARE(strForm(number), text);
    }

    void strFormReadsBackAsTheSamePort() {
        for (int port = -70000; port <= 70000; port += 7)
            QCOMPARE(portFromIni(strForm(float(port))), port);
    }
};

QM_TEST_MAIN_CORE(IniValuesTest)
#include "ini_values_test.moc"
