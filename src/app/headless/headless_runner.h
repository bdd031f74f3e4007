#pragma once

#include "app/command_line.h"

namespace qm {

// quillet-mirror --headless: the relay without windows or tray, one line per
// event on standard output, ended by SIGINT or SIGTERM.
int runHeadless(int argc, char** argv, const CommandLine& line);

} // namespace qm
