#include "relay_fixture.h"

#include "support/test_main.h"

#include <QTest>

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

// Two network namespaces of the test's own, joined by a veth pair. This
// thread lives in the near one while the link exists; clients are made in the
// far one. Cutting the link makes them vanish without a word, as a peer that
// loses power does.
class VanishingLink {
public:
    VanishingLink()
        : m_near(QStringLiteral("qm-near-%1").arg(getpid())),
          m_far(QStringLiteral("qm-far-%1").arg(getpid())) {
        m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const QString setup =
            QStringLiteral("ip netns add %1 && ip netns add %2 && ip -n %1 link set lo up && "
                           "ip -n %1 link add qmnear type veth peer name qmfar netns %2 && "
                           "ip -n %1 addr add 10.77.0.1/30 dev qmnear && "
                           "ip -n %2 addr add 10.77.0.2/30 dev qmfar && "
                           "ip -n %1 link set qmnear up && ip -n %2 link set qmfar up")
                .arg(m_near, m_far);
        if (m_home < 0 || !run(setup) || !enter(m_near))
            return;
        m_ready = true;
    }
    ~VanishingLink() {
        if (m_home >= 0) {
            setns(m_home, CLONE_NEWNET);
            ::close(m_home);
        }
        run(QStringLiteral("ip netns del %1; ip netns del %2").arg(m_near, m_far));
    }
    bool ready() const { return m_ready; }

    // A socket of the far side connecting to the near side's port.
    int connectFromFar(quint16 port) {
        if (!enter(m_far))
            return -1;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        enter(m_near);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, "10.77.0.1", &address.sin_addr);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        return fd;
    }
    void cut() { run(QStringLiteral("ip -n %1 link set qmfar down").arg(m_far)); }

private:
    static bool run(const QString& command) {
        return std::system(qPrintable(command + QStringLiteral(" 2>/dev/null"))) == 0;
    }
    static bool enter(const QString& name) {
        const int fd = ::open(qPrintable(QStringLiteral("/run/netns/") + name), O_RDONLY);
        const bool entered = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0)
            ::close(fd);
        return entered;
    }

    QString m_near;
    QString m_far;
    int m_home = -1;
    bool m_ready = false;
};

} // namespace

class RelayPeerLossTest : public QObject {
    Q_OBJECT
private slots:
    void pairsWhoseClientVanishedEndAsTheClientsFailure() {
        VanishingLink link;
        if (!link.ready())
            QSKIP("needs root and ip netns to make a veth link that can be cut");
        RelayFixture f;
        f.engine.setPeerLossTimings({1, 1, 2, 2000});
        const int idle = link.connectFromFar(f.engine.serverPort());
        QTRY_COMPARE(f.acceptedSlots.size(), 1);
        const int busy = link.connectFromFar(f.engine.serverPort());
        QTRY_COMPARE(f.acceptedSlots.size(), 2);
        QTRY_COMPARE(f.server1.openConnections().size(), 2);

        link.cut();
        // One pair idle, one with unacknowledged bytes towards its client.
        f.server1.openConnections().at(1)->write(patternBytes(64 * 1024, 1));
        QTRY_COMPARE_WITH_TIMEOUT(f.ended.size(), 2, 15000);
        QCOMPARE(f.engine.onlineN(), 0);
        QCOMPARE(f.captions.last(), QStringLiteral("Онлаин – 0"));
        QTRY_COMPARE(f.server1.openConnections().size(), 0);
        ::close(idle);
        ::close(busy);
    }
};

QM_TEST_MAIN_CORE(RelayPeerLossTest)
#include "relay_peer_loss_test.moc"
