#pragma once

namespace qm {

// quillet-mirror --headless: the relay without windows or tray, one line per
// event on standard output, ended by SIGINT or SIGTERM.
int runHeadless(int argc, char** argv);

} // namespace qm
