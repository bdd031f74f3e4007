// quillet-mirrord: the headless relay alone, for servers, linking neither Qt
// Gui nor Widgets.
#include "app/command_line.h"
#include "app/control/ctl_main.h"
#include "app/headless/headless_runner.h"

int main(int argc, char** argv) {
    if (qm::isControlCommand(argc, argv))
        return qm::runControlCommand(argc, argv);
    const QStringList arguments = qm::argumentList(argc, argv);
    qm::CommandLine line;
    int exitCode = qm::ExitNormal;
    if (!qm::parseCommandLine(arguments, line, exitCode, qm::Executable::Server))
        return exitCode;
    return qm::runHeadless(argc, argv, line);
}
