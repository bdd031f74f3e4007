#include "app/entry.h"

#include "app/headless/signal_watcher.h"
#include "app/single_instance.h"
#include "controls/program_icon.h"
#include "controls/qt_message_boxes.h"
#include "core/clock.h"
#include "core/program_folder.h"
#include "core/settings_folder.h"
#include "service/ban_list.h"
#include "service/control/control_channel.h"
#include "service/process_limits.h"
#include "service/relay_controller.h"
#include "ui/app_context.h"
#include "ui/main/main_window.h"

#include <QApplication>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>

namespace qm {

namespace {

const char* const NoDisplayHint =
    "quillet-mirror: no display to show the window on; for the relay without windows run "
    "quillet-mirrord or quillet-mirror --headless\n";

// Without a display the window and tray cannot be seen, and over SSH the
// program would only seem to hang: say what to run instead. The off-screen
// fallback only lets the display that fails to open be told apart from an
// abort; an explicit choice of the user is left alone.
bool chooseGuiPlatform() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    const bool x11 = qEnvironmentVariableIsSet("DISPLAY");
    const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (!x11 && !wayland)
        return false;
    qputenv("QT_QPA_PLATFORM", wayland ? "wayland;xcb;offscreen" : "xcb;offscreen");
    return true;
}

} // namespace

int runDesktop(int argc, char** argv, const CommandLine& line) {
    if (!chooseGuiPlatform()) {
        std::fputs(NoDisplayHint, stderr);
        return ExitNoDisplay;
    }
    QApplication app(argc, argv);
    // The window class and the Wayland app id match the desktop entry.
    QCoreApplication::setApplicationName(QStringLiteral("quillet-mirror"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillet-mirror"));
    if (QGuiApplication::platformName() == QLatin1String("offscreen") &&
        qgetenv("QT_QPA_PLATFORM") != "offscreen") {
        std::fputs(NoDisplayHint, stderr);
        return ExitNoDisplay;
    }
    // Hidden in the tray is a normal state: closing the last window ends nothing.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(programIcon());

    const SettingsFolder settings = resolveSettingsFolder(line.configDir);
    if (settings.path.isEmpty()) {
        std::fprintf(stderr, "quillet-mirror: %s\n", qPrintable(settings.error));
        return ExitStartFailed;
    }
    // One instance per executable, and one per settings folder: two programs
    // writing one config.ini would undo each other's saves.
    SingleInstance instance(QCoreApplication::applicationFilePath());
    SingleInstance folderInstance(settings.path);
    if (!instance.tryLock() || !folderInstance.tryLock())
        return ExitNormal;

    raiseDescriptorLimit();
    const QString folder = settings.path;
    BanList bans(banFilePath(folder));

    SystemClock clock;
    QtMessageBoxes messages;
    RelayController::Options options;
    options.configPath = configPath(folder);
    RelayController controller(bans.table(), clock, options);
    controller.setIpv6Bans(&bans.table6());
    if (!bans.ban6Problem().isEmpty())
        std::fprintf(stderr, "quillet-mirror: %s\n", qPrintable(bans.ban6Problem()));
    AppContext ctx{&bans, &clock, &messages, &controller};

    MainWindow window(ctx);
    QObject::connect(&window, &MainWindow::programEnded, &app, &QCoreApplication::quit);
    ControlChannel control(controller, bans, [&window] { window.reload(); });
    QString controlError;
    if (!control.open(folder, &controlError))
        std::fprintf(stderr, "quillet-mirror: control commands unavailable: %s\n",
                     qPrintable(controlError));
    // A signal to end ends cleanly, so the lock and the control socket go with
    // the program; SIGHUP re-reads the files as in headless mode.
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::signalled, &app, [&](int number) {
        if (number == SIGHUP)
            window.reload();
        else
            QCoreApplication::quit();
    });
    // With automatic start only the tray icon is seen: the window is never mapped,
    // not even for a moment.
    if (!window.startHidden())
        window.show();
    return QApplication::exec();
}

} // namespace qm
