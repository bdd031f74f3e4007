#include "app/command_line.h"
#include "app/control/ctl_main.h"
#include "app/entry.h"
#include "app/headless/headless_runner.h"

int main(int argc, char** argv) {
    // Before any application object: ctl needs no display.
    if (qm::isControlCommand(argc, argv))
        return qm::runControlCommand(argc, argv);
    const QStringList arguments = qm::argumentList(argc, argv);
    qm::CommandLine line;
    int exitCode = qm::ExitNormal;
    if (!qm::parseCommandLine(arguments, line, exitCode))
        return exitCode;
    return line.headless ? qm::runHeadless(argc, argv, line) : qm::runDesktop(argc, argv, line);
}
