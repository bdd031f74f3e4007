#include "app/command_line.h"
#include "app/entry.h"
#include "app/headless/headless_runner.h"

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    qm::CommandLine line;
    int exitCode = qm::ExitNormal;
    if (!qm::parseCommandLine(arguments, line, exitCode))
        return exitCode;
    return line.headless ? qm::runHeadless(argc, argv, line) : qm::runDesktop(argc, argv, line);
}
