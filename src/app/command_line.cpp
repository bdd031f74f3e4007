#include "app/command_line.h"

#include <QCommandLineParser>

#include <cstdio>

namespace qm {

namespace {

const char* const ExitCodesText =
    "Exit codes:\n"
    "  0  normal end (signal, exit from the tray, --help, --version)\n"
    "  1  the relay or its settings folder could not start\n"
    "  2  bad command line\n"
    "  3  a port the relay may not use (below 1024 without the capability)\n"
    "  4  no display for the desktop program (use quillet-mirrord or --headless)\n";

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

bool parseCommandLine(const QStringList& arguments, CommandLine& line, int& exitCode,
                      Executable executable) {
    const bool server = executable == Executable::Server;
    const QString name =
        server ? QStringLiteral("quillet-mirrord") : QStringLiteral("quillet-mirror");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        (server ? QStringLiteral("A TCP/UDP relay for servers: always headless, without windows "
                                 "or\ngraphical libraries.")
                : QStringLiteral("A TCP/UDP relay. Without options it runs as a desktop program "
                                 "with a\nnotification-area icon.")) +
        QStringLiteral(" Settings are read from config.ini and bans from\n"
                       "ban.dat: beside the executable when its folder is writable, otherwise in\n"
                       "the user's configuration folder (~/.config/quillet-mirror).\n"
                       "'quillet-mirror ctl --help': the commands of a running relay."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this text and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Relay without any window or tray icon, starting at once whatever "
                       "Auto_Start says; one line per event on standard output; SIGINT or "
                       "SIGTERM end it, SIGHUP re-reads the settings.") +
            (server ? QStringLiteral(" Always on here.") : QString()));
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Keep config.ini and ban.dat in <dir> (made if missing)."),
        QStringLiteral("dir"));
    const QCommandLineOption timestamps(
        QStringLiteral("timestamps"),
        QStringLiteral("Start each headless line with the local date and time."));
    parser.addOptions({help, version, headless, configDir, timestamps});

    // The program name the parser expects first.
    const bool parsed = parser.parse(QStringList{name} + arguments);
    // Help wins over everything, even over an error elsewhere on the line.
    if (parser.isSet(help)) {
        // Without an application object the parser does not know our name.
        QString text = parser.helpText();
        text.replace(QLatin1String("<executable_name>"), name);
        print(stdout, text + QLatin1Char('\n') + QLatin1String(ExitCodesText));
        exitCode = ExitNormal;
        return false;
    }
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        const QString error = parsed ? QStringLiteral("unexpected argument '%1'")
                                           .arg(parser.positionalArguments().constFirst())
                                     : parser.errorText();
        print(stderr, QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(name, error));
        exitCode = ExitBadUsage;
        return false;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("%1 %2\n").arg(name, QLatin1String(QM_VERSION)));
        exitCode = ExitNormal;
        return false;
    }
    line.headless = server || parser.isSet(headless);
    line.timestamps = parser.isSet(timestamps);
    line.configDir = parser.value(configDir);
    if (parser.isSet(configDir) && line.configDir.isEmpty()) {
        print(stderr, QStringLiteral("%1: --config-dir needs a folder\n").arg(name));
        exitCode = ExitBadUsage;
        return false;
    }
    return true;
}

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace qm
