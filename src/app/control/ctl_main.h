#pragma once

namespace qm {

// quillet-mirror ctl ...: argv[1] is "ctl". Sends one command to the running
// relay and returns the exit code (CtlExitCode). Needs no display and builds
// no application object but a core one, so any executable can call it first
// thing in main().
int runControlCommand(int argc, char** argv);

// Whether the command line asks for it.
bool isControlCommand(int argc, char** argv);

} // namespace qm
