#pragma once

#include "service/control/control_protocol.h"

#include <QStringList>

#include <optional>

namespace qm {

// Exit codes of quillet-mirror ctl, shown in its --help and the manual page.
enum CtlExitCode {
    CtlDone = 0,
    CtlDeclined = 1, // the relay refused: already banned, not banned, no such pair
    CtlBadUsage = 2, // a bad command line or address; nothing was sent
    CtlNoRelay = 3,  // no running relay uses the settings folder
};

struct CtlCommandLine {
    QString configDir; // empty: the folder the program itself would use
    bool json = false;
    ControlRequest request;
};

// Reads the arguments after "ctl". Prints the help or the error itself and
// returns nothing, with the code to exit with, when nothing is to be sent.
std::optional<CtlCommandLine> parseCtlCommandLine(const QStringList& arguments, int& exitCode);

} // namespace qm
