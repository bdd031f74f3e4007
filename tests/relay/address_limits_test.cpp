// The per-address bookkeeping on a clock of its own: the bucket's burst and
// refill, pairs given back, and memory that a flood from many addresses does
// not keep.
#include "relay/address_limits.h"
#include "support/test_main.h"

using namespace qm;
using namespace std::chrono_literals;
using Verdict = AddressLimits::Verdict;

class AddressLimitsTest : public QObject {
    Q_OBJECT
private slots:
    void pairsAndRate() {
        AddressLimits limits;
        limits.setLimits(2, 3);
        const AddressLimits::Time t0{};
        QCOMPARE(limits.admit(1, t0), Verdict::Admitted);
        QCOMPARE(limits.admit(1, t0), Verdict::Admitted);
        QCOMPARE(limits.admit(1, t0), Verdict::TooManyPairs);
        QCOMPARE(limits.admit(2, t0), Verdict::Admitted);
        limits.release(1);
        limits.release(1);
        QCOMPARE(limits.admit(1, t0), Verdict::Admitted); // the third token
        limits.release(1);
        QCOMPARE(limits.admit(1, t0), Verdict::TooFast);
        QCOMPARE(limits.admit(1, t0 + 200ms), Verdict::TooFast);
        QCOMPARE(limits.admit(1, t0 + 340ms), Verdict::Admitted); // a third of a second refills one
        limits.release(1);
        // A long pause fills the bucket to its burst, no more.
        const auto later = t0 + 60s;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(limits.admit(1, later), Verdict::Admitted);
            limits.release(1);
        }
        QCOMPARE(limits.admit(1, later), Verdict::TooFast);
    }

    void quietAddressesAreForgotten() {
        AddressLimits limits;
        limits.setLimits(5, 10);
        const AddressLimits::Time t0 = AddressLimits::Time{} + 1h;
        for (quint32 address = 1; address <= 100000; ++address) {
            QCOMPARE(limits.admit(address, t0), Verdict::Admitted);
            limits.release(address);
        }
        QCOMPARE(limits.admit(7, t0), Verdict::Admitted); // holds its pair
        limits.admit(200000, t0 + 2s);
        QCOMPARE(limits.rememberedAddresses(), std::size_t(2));

        // Without a rate nothing is kept of an address without pairs.
        limits.setLimits(5, 0);
        limits.release(7);
        limits.release(200000);
        QCOMPARE(limits.rememberedAddresses(), std::size_t(0));
    }
};

QM_TEST_MAIN_CORE(AddressLimitsTest)
#include "address_limits_test.moc"
