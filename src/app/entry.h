#pragma once

#include "app/command_line.h"

namespace qm {

// The desktop program: single instance, ban file, main window. Returns the
// process's exit code.
int runDesktop(int argc, char** argv, const CommandLine& line);

} // namespace qm
