#pragma once

namespace qm {

// The desktop program: single instance, ban file, main window. Returns the
// process's exit code.
int runDesktop(int argc, char** argv);

} // namespace qm
