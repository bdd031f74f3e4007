#include "app/control/ctl_main.h"

#include "app/control/ctl_client.h"
#include "app/control/ctl_command_line.h"
#include "app/control/ctl_output.h"
#include "core/program_folder.h"
#include "core/runtime_folder.h"
#include "core/settings_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

namespace qm {

namespace {

// A relay that takes longer than this to answer one command is not answering.
constexpr int AnswerTimeMs = 10000;

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// The settings folder as the relay would choose it, without making a named one.
QString settingsFolderOf(const CtlCommandLine& line) {
    if (!line.configDir.isEmpty())
        return QDir(line.configDir).absolutePath();
    return locateSettingsFolder(
        programFolder(), QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

} // namespace

bool isControlCommand(int argc, char** argv) {
    return argc > 1 && std::strcmp(argv[1], "ctl") == 0;
}

int runControlCommand(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-mirror"));
    int exitCode = CtlDone;
    const std::optional<CtlCommandLine> line =
        parseCtlCommandLine(QCoreApplication::arguments().mid(2), exitCode);
    if (!line)
        return exitCode;
    const QString folder = settingsFolderOf(*line);
    QString error;
    const std::optional<ControlReply> reply =
        askRelay(controlSocketCandidates(folder), line->request, AnswerTimeMs, &error);
    if (!reply) {
        print(stderr, QStringLiteral("quillet-mirror ctl: %1 (%2)\n").arg(error, folder));
        return CtlNoRelay;
    }
    if (reply->code != ControlReply::Done) {
        print(stderr, QStringLiteral("quillet-mirror ctl: %1\n").arg(reply->message));
        return CtlDeclined;
    }
    print(stdout,
          line->json ? formatReplyJson(*reply) : formatReplyText(line->request.command, *reply));
    return CtlDone;
}

} // namespace qm
