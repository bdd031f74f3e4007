#include "app/control/ctl_command_line.h"

#include <cstdio>

namespace qm {

namespace {

const char* const HelpText =
    "Usage: quillet-mirror ctl [--config-dir DIR] [--json] COMMAND [ADDRESS]\n"
    "Asks the running relay (desktop or headless) that uses the settings folder.\n"
    "\n"
    "Commands:\n"
    "  status              listening, port, online count, servers, totals since start\n"
    "  online              one row per live pair: slot, address, since, bytes, server\n"
    "  disconnect ADDRESS  end the live pair of ADDRESS in the lowest slot\n"
    "  ban ADDRESS         add ADDRESS to the ban list and save ban.dat\n"
    "  unban ADDRESS       remove ADDRESS from the ban list and save ban.dat\n"
    "  bans                the ban list in table order\n"
    "  reload              re-read config.ini and ban.dat and restart, as SIGHUP does\n"
    "\n"
    "Options:\n"
    "  --config-dir DIR    the relay's settings folder (the service: /var/lib/quillet-mirror)\n"
    "  --json              one JSON value instead of text\n"
    "  -h, --help          show this text\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  1  the relay declined (already banned, not banned, no live pair of the address)\n"
    "  2  bad command line or address; nothing was sent\n"
    "  3  no running relay uses that settings folder\n";

std::nullopt_t badUsage(const QString& message, int& exitCode) {
    std::fprintf(stderr, "quillet-mirror ctl: %s\nTry 'quillet-mirror ctl --help'.\n",
                 message.toLocal8Bit().constData());
    exitCode = CtlBadUsage;
    return std::nullopt;
}

} // namespace

std::optional<CtlCommandLine> parseCtlCommandLine(const QStringList& arguments, int& exitCode) {
    CtlCommandLine line;
    QStringList words;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments.at(i);
        if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
            std::fputs(HelpText, stdout);
            exitCode = CtlDone;
            return std::nullopt;
        }
        if (word == QLatin1String("--json")) {
            line.json = true;
        } else if (word == QLatin1String("--config-dir") ||
                   word.startsWith(QLatin1String("--config-dir="))) {
            const bool joined = word.contains(QLatin1Char('='));
            if (!joined && ++i >= arguments.size())
                return badUsage(QStringLiteral("--config-dir needs a folder"), exitCode);
            line.configDir = joined ? word.section(QLatin1Char('='), 1) : arguments.at(i);
            if (line.configDir.isEmpty())
                return badUsage(QStringLiteral("--config-dir needs a folder"), exitCode);
        } else if (word.startsWith(QLatin1Char('-')) && word.size() > 1) {
            return badUsage(QStringLiteral("unknown option '%1'").arg(word), exitCode);
        } else {
            words.append(word);
        }
    }
    if (words.isEmpty())
        return badUsage(QStringLiteral("no command given"), exitCode);
    const std::optional<AddressUse> use = controlCommandArgument(words.first());
    if (!use)
        return badUsage(QStringLiteral("unknown command '%1'").arg(words.first()), exitCode);
    const qsizetype expected = *use == AddressUse::Required ? 2 : 1;
    if (words.size() < expected)
        return badUsage(QStringLiteral("'%1' needs an address").arg(words.first()), exitCode);
    if (words.size() > expected)
        return badUsage(QStringLiteral("unexpected argument '%1'").arg(words.at(expected)),
                        exitCode);
    if (expected == 2 && !parseControlAddress(words.at(1)))
        return badUsage(QStringLiteral("'%1' is not a dotted IPv4 address").arg(words.at(1)),
                        exitCode);
    line.request = ControlRequest{words.first(), expected == 2 ? words.at(1) : QString()};
    return line;
}

} // namespace qm
