#include "app/headless/headless_runner.h"

#include "app/headless/headless_log.h"
#include "app/headless/line_output.h"
#include "app/headless/signal_watcher.h"
#include "core/bans/ban_file.h"
#include "core/program_folder.h"
#include "relay/fd_limit.h"
#include "service/relay_controller.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <unistd.h>

namespace qm {

namespace {

// Exit codes: 0 after SIGINT or SIGTERM, 1 when the first start does not end
// listening (bad port, no server answering, busy port, settings not saved).
constexpr int ExitStartFailed = 1;

// How long the exit waits for a slow reader to take the lines still queued.
constexpr std::chrono::milliseconds ExitFlushTime{1000};

} // namespace

int runHeadless(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A reader of the printed lines that goes away must not end the relay:
    // the lines are lost, the pairs go on.
    std::signal(SIGPIPE, SIG_IGN);
    // A reader that stalls must not stall the relay: lines wait in memory.
    LineOutput output(STDOUT_FILENO);
    const auto printLine = [&output](const QString& line) { output.writeLine(line); };
    const long descriptorLimit = raiseFileDescriptorLimit();

    const QString folder = programFolder();
    const BanTable bans = loadBanFile(banFilePath(folder));
    const SettingBoxes boxes = readSettingBoxes(configPath(folder));
    const SystemClock clock;
    RelayController::Options options;
    options.configPath = configPath(folder);
    RelayController controller(bans, clock, options);
    controller.setAutoStart(boxes.autoStart);

    HeadlessLog log(controller, printLine);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::signalled, &app, [&app, &output](int number) {
        output.writeLine(QStringLiteral("stopping on signal %1").arg(number));
        app.exit(0);
    });
    // Without windows nobody can press apply again, so a failed first start
    // ends the program; a later stop by the probe leaves the pairs running.
    QObject::connect(
        &controller, &RelayController::startFinished, &app,
        [&app](bool listening) {
            if (!listening)
                app.exit(ExitStartFailed);
        },
        Qt::SingleShotConnection);

    printLine(QStringLiteral("config %1, ban list %2, descriptor limit %3")
                  .arg(options.configPath, banFilePath(folder), QString::number(descriptorLimit)));
    QTimer::singleShot(0, &controller, [&controller, &boxes] { controller.startRelay(boxes); });
    const int exitCode = app.exec();
    output.flushWithin(ExitFlushTime);
    return exitCode;
}

} // namespace qm
