// Port boxes: which texts are numbers, and which port a socket gets for them.
#include "support/test_main.h"

#include "service/port_rules.h"

using namespace qm;

class PortBoxTest : public QObject {
    Q_OBJECT
private slots:
    void socketPortsAreRoundedAndNeverWrapped_data();
    void socketPortsAreRoundedAndNeverWrapped();
};

void PortBoxTest::socketPortsAreRoundedAndNeverWrapped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<int>("port");
    QTest::newRow("plain") << "9730" << true << 9730;
    QTest::newRow("blanks around") << "  9730 " << true << 9730;
    QTest::newRow("half to even down") << "9730.5" << true << 9730;
    QTest::newRow("half to even up") << "9731.5" << true << 9732;
    QTest::newRow("fraction") << "9730.4" << true << 9730;
    QTest::newRow("highest") << "65535" << true << 65535;
    QTest::newRow("rounds past highest") << "65535.5" << true << 0;
    QTest::newRow("would wrap to 0") << "65536" << true << 0;
    QTest::newRow("would wrap to 4464") << "70000" << true << 0;
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("rounds to zero") << "0.5" << true << 0;
    QTest::newRow("negative") << "-5" << true << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("trailing letters") << "9730x" << false << 0;
    QTest::newRow("infinite") << "inf" << false << 0;
    QTest::newRow("not a number") << "nan" << false << 0;
}

void PortBoxTest::socketPortsAreRoundedAndNeverWrapped() {
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(int, port);
    const std::optional<float> number = portBoxNumber(text);
    QCOMPARE(number.has_value(), isNumber);
    if (number)
        QCOMPARE(int(socketPort(*number)), port);
}

QM_TEST_MAIN_CORE(PortBoxTest)
#include "port_rules_test.moc"
