#include "app/entry.h"
#include "app/headless/headless_runner.h"

#include <cstdio>
#include <cstring>

namespace {

void printUsage() {
    std::puts("Usage: quillet-mirror [--headless | --help]\n"
              "\n"
              "A TCP/UDP relay. Without arguments it runs as a desktop program with a\n"
              "notification-area icon. Settings are read from config.ini and bans from\n"
              "ban.dat in the program's own folder.\n"
              "\n"
              "  --headless  relay without any window or tray icon, starting at once\n"
              "              whatever Auto_Start says; one line per event on standard\n"
              "              output; ends on SIGINT or SIGTERM\n"
              "  --help      show this text");
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage();
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--headless") == 0)
        return qm::runHeadless(argc, argv);
    if (argc >= 2) {
        std::fprintf(stderr, "quillet-mirror: unknown argument '%s'\n\n", argv[1]);
        printUsage();
        return 2;
    }
    return qm::runDesktop(argc, argv);
}
