#include "relay_fixture.h"

#include "relay/fd_limit.h"
#include "support/test_main.h"

#include <QDir>
#include <QTest>

#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

rlimit descriptorLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    return limit;
}

// Lowers the descriptor limit to a little above what is open now and fills
// every gap, so the process has exactly `free` descriptors left and fillers in
// hand to give back; restores everything on exit.
class DescriptorSqueeze {
public:
    explicit DescriptorSqueeze(int free) : m_saved(descriptorLimit()) {
        int highest = 0;
        for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files))
            highest = std::max(highest, name.toInt());
        // Room above the highest open one: where the open ones have no gaps
        // below them, the fillers would otherwise be too few to leave `free`.
        constexpr int Room = 16;
        rlimit lowered = m_saved;
        lowered.rlim_cur = rlim_t(highest) + 1 + Room;
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            m_fillers.append(fd);
        for (int i = 0; i < free && !m_fillers.isEmpty(); ++i)
            ::close(m_fillers.takeLast());
    }
    void release(int count) {
        for (int i = 0; i < count && !m_fillers.isEmpty(); ++i)
            ::close(m_fillers.takeLast());
    }
    ~DescriptorSqueeze() {
        for (int fd : std::as_const(m_fillers))
            ::close(fd);
        setrlimit(RLIMIT_NOFILE, &m_saved);
    }

private:
    rlimit m_saved;
    QList<int> m_fillers;
};

int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class RelayLimitsTest : public QObject {
    Q_OBJECT
private slots:
    void fullSlotTableRefusesUntilAPairEnds() {
        RelayFixture f;
        f.engine.setSlotCapacity(2);
        auto c1 = f.acceptedClient();
        auto c2 = f.acceptedClient();
        QVERIFY(c1 && c2);
        auto refused = f.connectClient();
        QVERIFY(refused);
        QVERIFY(waitForClose(*refused));
        QCOMPARE(refused->bytesAvailable(), 0);
        QCOMPARE(f.refusals, QStringList{QStringLiteral("no free slot")});
        QCOMPARE(f.engine.onlineN(), 2);

        c1->close();
        QTRY_COMPARE(f.engine.pairsInProgress(), 1);
        QVERIFY(f.acceptedClient());
        QCOMPARE(f.acceptedSlots.last(), 1);
    }

    void runningOutOfDescriptorsRefusesNewClientsAndServesTheOthers() {
        RelayFixture f;
        auto c1 = f.acceptedClient();
        QVERIFY(c1);
        {
            // One descriptor: the test's own client socket takes it.
            DescriptorSqueeze squeeze(1);
            auto refused = f.connectClient();
            QVERIFY(refused);
            QVERIFY(waitForClose(*refused));
            QCOMPARE(f.refusals, QStringList{QStringLiteral("out of descriptors")});
            QCOMPARE(f.engine.onlineN(), 1);
            const double before = cpuSeconds();
            QTest::qWait(300);
            QVERIFY2(cpuSeconds() - before < 0.1, "busy while out of descriptors");
            // Two back: the sanitizers' runtime needs a pipe for its checks;
            // a new pair would still need four.
            squeeze.release(2);

            c1->write("still here");
            QCOMPARE(readExactly(*c1, 10), QByteArray("still here"));
            refused.reset();
            c1->close(); // frees a pair's worth of descriptors
            QTRY_COMPARE(f.engine.pairsInProgress(), 0);
            QTRY_COMPARE(f.server1.openConnections().size(), 0);
            auto recovered = f.acceptedClient();
            QVERIFY(recovered);
            recovered->write("back");
            QCOMPARE(readExactly(*recovered, 4), QByteArray("back"));
        }
        QVERIFY(f.acceptedClient());
    }

    void noDescriptorLeftForTheUpstreamRefusesTheClientUncounted() {
        RelayFixture f;
        auto c1 = f.acceptedClient();
        QVERIFY(c1);
        const qsizetype captions = f.captions.size();
        {
            // Two descriptors: the test's client socket and the relay's accepted
            // client take them, none is left for the client's upstream.
            DescriptorSqueeze squeeze(2);
            auto refused = f.connectClient();
            QVERIFY(refused);
            QVERIFY(waitForClose(*refused));
            QCOMPARE(f.refusals, QStringList{QStringLiteral("out of descriptors")});
            QVERIFY(f.ended.isEmpty());
            QCOMPARE(f.captions.size(), captions);
            QCOMPARE(f.chosen.size(), 1); // the datagram destination stays
            QCOMPARE(f.engine.onlineN(), 1);
            QCOMPARE(f.engine.pairsInProgress(), 1);
        }
        QVERIFY(f.acceptedClient());
    }

    void noDescriptorForAnEngineThreadMakesDoWithThoseRunning() {
        RelayFixture f;
        f.engine.setThreads(2);
        {
            // Four: the test's client, the relay's accepted client, the
            // upstream socket and the first thread's poller; none for its wake event.
            DescriptorSqueeze squeeze(4);
            auto refused = f.connectClient();
            QVERIFY(refused);
            QVERIFY(waitForClose(*refused));
            QCOMPARE(f.refusals, QStringList{QStringLiteral("out of descriptors")});
            QCOMPARE(f.engine.onlineN(), 0);
        }
        auto c1 = f.acceptedClient();
        QVERIFY(c1);
        {
            // Four: the second thread gets its poller but no wake event, and the
            // upstream's own end takes the one given back.
            DescriptorSqueeze squeeze(4);
            auto c2 = f.acceptedClient();
            QVERIFY(c2);
            c2->write("shared thread");
            QCOMPARE(readExactly(*c2, 13), QByteArray("shared thread"));
        }
        c1->write("own thread");
        QCOMPARE(readExactly(*c1, 10), QByteArray("own thread"));
    }

    void listenerReopenedByARefusalOutOfDescriptorsLeaksNothing() {
        // A round with descriptors to spare first: Qt and the sanitizers'
        // runtime keep some that they open on first use.
        int before = 0;
        QString lastRefusal;
        for (const int freeDescriptors : {-1, 1}) {
            before = openDescriptors();
            RelayFixture f;
            f.chooseUpstreams({std::nullopt});
            connect(&f.engine, &RelayEngine::clientRefused, this, [&f] {
                f.engine.closeListener();
                QVERIFY(f.engine.listen(0));
            });
            std::optional<DescriptorSqueeze> squeeze;
            if (freeDescriptors >= 0)
                squeeze.emplace(freeDescriptors);
            auto refused = f.connectClient();
            QVERIFY(refused);
            QVERIFY(waitForClose(*refused));
            lastRefusal = f.refusals.value(0);
        }
        QCOMPARE(lastRefusal, QStringLiteral("out of descriptors"));
        QCOMPARE(openDescriptors(), before);
    }

    void raisingTheDescriptorLimitLiftsItToTheHardLimit() {
        const rlimit saved = descriptorLimit();
        rlimit lowered = saved;
        lowered.rlim_cur = std::min<rlim_t>(saved.rlim_max, 256);
        setrlimit(RLIMIT_NOFILE, &lowered);
        raiseFileDescriptorLimit();
        QCOMPARE(descriptorLimit().rlim_cur, saved.rlim_max);
        setrlimit(RLIMIT_NOFILE, &saved);
    }

    void anIdleRelayUsesNoProcessor() {
        RelayFixture f;
        SilentUpstream silent;
        auto idle = f.acceptedClient();
        QVERIFY(idle);
        f.chooseUpstreams({Upstream{silent.host(), silent.port()}});
        auto waiting = f.connectClient(); // a connect deadline is pending too
        const double before = cpuSeconds();
        QTest::qWait(1000);
        QVERIFY2(cpuSeconds() - before < 0.05, qPrintable(QString::number(cpuSeconds() - before)));
    }
};

QM_TEST_MAIN_CORE(RelayLimitsTest)
#include "relay_limits_test.moc"
