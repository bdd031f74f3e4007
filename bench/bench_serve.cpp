#include "bench_serve.h"

#include "core/bans/ban_table.h"
#include "core/clock.h"
#include "relay/fd_limit.h"
#include "relay/relay_engine.h"

#include <QCoreApplication>

#include <cstdio>

namespace qm::bench {

int serveRelay(int argc, char** argv, std::uint16_t listenPort, std::uint16_t upstreamPort) {
    QCoreApplication app(argc, argv);
    raiseFileDescriptorLimit();
    BanTable bans;
    SystemClock clock;
    RelayEngine engine(bans, clock);
    const Upstream upstream{QStringLiteral("127.0.0.1"), upstreamPort};
    engine.setUpstreamChooser([upstream] { return std::optional<Upstream>(upstream); });
    QString error;
    if (!engine.listen(listenPort, &error)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("listening %u\n", engine.serverPort());
    std::fflush(stdout);
    return app.exec();
}

} // namespace qm::bench
