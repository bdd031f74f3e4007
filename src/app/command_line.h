#pragma once

#include <QString>
#include <QStringList>

namespace qm {

// Exit codes of the program, shown in --help and the manual page.
enum ExitCode {
    ExitNormal = 0,        // ended by the user or a signal; --help, --version
    ExitStartFailed = 1,   // the relay or its settings folder could not start
    ExitBadUsage = 2,      // an unknown option or a missing value
    ExitPortForbidden = 3, // a port the relay may not use: retrying cannot help
    ExitNoDisplay = 4,     // the desktop program found no display to show itself on
};

// Which executable reads the line: the desktop program, or quillet-mirrord,
// which only runs headless and links no graphical libraries.
enum class Executable { Desktop, Server };

struct CommandLine {
    bool headless = false;
    bool timestamps = false; // headless lines start with the local time
    QString configDir;       // empty: the folder is chosen as usual
};

// Reads the arguments (without the program name). Prints the help, the
// version or the error itself; returns false with the code to exit with when
// the program must not run.
// main()'s arguments after the program's name, in the locale's encoding.
QStringList argumentList(int argc, char** argv);

bool parseCommandLine(const QStringList& arguments, CommandLine& line, int& exitCode,
                      Executable executable = Executable::Desktop);

} // namespace qm
