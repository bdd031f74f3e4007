#include "app/headless/headless_runner.h"

#include "app/headless/headless_log.h"
#include "app/headless/line_output.h"
#include "app/headless/service_status.h"
#include "app/headless/signal_watcher.h"
#include "app/single_instance.h"
#include "core/program_folder.h"
#include "core/settings_folder.h"
#include "service/ban_list.h"
#include "service/control/control_channel.h"
#include "service/process_limits.h"
#include "service/relay_controller.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <unistd.h>

namespace qm {

namespace {

// How long the exit waits for a slow reader to take the lines still queued.
constexpr std::chrono::milliseconds ExitFlushTime{1000};

// The journal reads a syslog level from the front of each line.
QString journalPrefix(LogLevel level) {
    switch (level) {
    case LogLevel::Error:
        return QStringLiteral("<3>");
    case LogLevel::Warning:
        return QStringLiteral("<4>");
    case LogLevel::Info:
        break;
    }
    return QStringLiteral("<6>");
}

// The defaults relay to this machine itself: a service started without a
// config.ini listens on nothing until one is written.
QString firstStartHint(const QString& configPath) {
    const QString apply =
        qEnvironmentVariableIsSet("INVOCATION_ID")
            ? QStringLiteral("systemctl reload quillet-mirror")
            : QStringLiteral("kill -HUP %1").arg(QCoreApplication::applicationPid());
    return QStringLiteral("no config.ini yet, and the defaults point at this relay itself: set "
                          "Client_Port, Server_IP, Server_Port, Server2_IP and Server2_Port in "
                          "[main] of %1 (example: "
                          "/usr/share/doc/quillet-mirror/examples/config.ini), then run %2")
        .arg(configPath, apply);
}

} // namespace

int runHeadless(int argc, char** argv, const CommandLine& line) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-mirror"));
    // A reader of the printed lines that goes away must not end the relay:
    // the lines are lost, the pairs go on.
    std::signal(SIGPIPE, SIG_IGN);
    // A reader that stalls must not stall the relay: lines wait in memory.
    LineOutput output(STDOUT_FILENO);
    const bool underJournal = qEnvironmentVariableIsSet("JOURNAL_STREAM");
    const SystemClock clock;
    const bool timestamps = line.timestamps;
    const auto printLine = [&output, &clock, underJournal, timestamps](LogLevel level,
                                                                       const QString& text) {
        const QString stamp =
            timestamps ? clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) : QString();
        output.writeLine((underJournal ? journalPrefix(level) : QString()) + stamp + text);
    };
    const long descriptorLimit = raiseDescriptorLimit();

    const SettingsFolder settings = resolveSettingsFolder(line.configDir);
    if (settings.path.isEmpty()) {
        printLine(LogLevel::Error,
                  QStringLiteral("cannot use the settings folder: %1").arg(settings.error));
        output.flushWithin(ExitFlushTime);
        return ExitStartFailed;
    }
    const QString folder = settings.path;
    BanList bans(banFilePath(folder));
    RelayController::Options options;
    options.configPath = configPath(folder);
    options.waitForServer = true;
    RelayController controller(bans.table(), clock, options);
    controller.setIpv6Bans(&bans.table6());
    HeadlessLog log(controller, printLine);
    ServiceStatus serviceStatus(controller);
    const auto storedSettings = [&controller, &log] {
        QStringList ignored;
        const SettingBoxes boxes = controller.storedSettings(&ignored);
        log.ignoredSettings(ignored);
        controller.setAutoStart(boxes.autoStart);
        return boxes;
    };

    // As the apply button while listening (the new settings, the pairs
    // ended), but the listener stays when its port does, and settings that
    // cannot take effect leave the relay as it is. SIGHUP and the control
    // command alike.
    const auto reload = [&] {
        printLine(LogLevel::Info, QStringLiteral("re-reading config.ini and ban.dat"));
        bans.reload();
        if (!bans.ban6Problem().isEmpty())
            printLine(LogLevel::Warning, bans.ban6Problem());
        serviceStatus.reloadStarting();
        controller.reloadRelay(storedSettings());
    };
    ControlChannel control(controller, bans, reload);
    // The control socket is the folder's: a second relay on the same folder
    // must not take it over from the first.
    SingleInstance folderInstance(folder);
    QString controlError;
    if (!folderInstance.tryLock())
        printLine(LogLevel::Warning, QStringLiteral("another instance uses this settings folder; "
                                                    "control commands go to that one"));
    else if (!control.open(folder, &controlError))
        printLine(LogLevel::Warning,
                  QStringLiteral("control commands unavailable: %1").arg(controlError));

    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::signalled, &app, [&](int number) {
        if (number != SIGHUP) {
            printLine(LogLevel::Info, QStringLiteral("stopping on signal %1").arg(number));
            app.exit(0);
            return;
        }
        reload();
    });
    QObject::connect(&controller, &RelayController::reloadRefused, &app, [&] {
        printLine(LogLevel::Error,
                  controller.listening()
                      ? QStringLiteral("reload refused: still listening on port %1 as before")
                            .arg(controller.listeningPort())
                      : QStringLiteral("reload refused: the relay goes on as before"));
    });
    // A refused first start (a port that is no number or is taken) needs a
    // person to mend it, and a port it may not use ends it with a code of its
    // own that systemd does not retry; a later stop by the probe leaves the
    // pairs running.
    QObject::connect(
        &controller, &RelayController::startFinished, &app,
        [&app, &controller](bool listening) {
            if (!listening)
                app.exit(controller.portForbidden() ? ExitPortForbidden : ExitStartFailed);
        },
        Qt::SingleShotConnection);

    printLine(LogLevel::Info,
              QStringLiteral("config %1, ban list %2, descriptor limit %3")
                  .arg(options.configPath, banFilePath(folder), QString::number(descriptorLimit)));
    if (!QFileInfo::exists(options.configPath))
        printLine(LogLevel::Warning, firstStartHint(options.configPath));
    if (!control.socketPath().isEmpty())
        printLine(LogLevel::Info, QStringLiteral("control socket %1").arg(control.socketPath()));
    if (!bans.ban6Problem().isEmpty())
        printLine(LogLevel::Warning, bans.ban6Problem());
    const SettingBoxes boxes = storedSettings();
    QTimer::singleShot(0, &controller, [&controller, boxes] { controller.startRelay(boxes); });
    const int exitCode = app.exec();
    output.flushWithin(ExitFlushTime);
    return exitCode;
}

} // namespace qm
