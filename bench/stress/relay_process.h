#pragma once

#include "event_loop.h"

#include <cstdint>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

namespace qm::stress {

// The built program copied into a folder of its own, so that config.ini and
// ban.dat beside it are the stress run's; started in headless mode.
class RelayProcess {
public:
    explicit RelayProcess(const std::string& builtProgram);
    ~RelayProcess();
    RelayProcess(const RelayProcess&) = delete;
    RelayProcess& operator=(const RelayProcess&) = delete;

    std::string configPath() const { return m_folder + "/config.ini"; }
    std::string banPath() const { return m_folder + "/ban.dat"; }
    static std::string configFor(std::uint16_t clientPort, std::uint16_t serverPort);

    // Starts the program; at most one runs at a time. descriptorLimit > 0
    // starts it with that many descriptors at most.
    void start(long descriptorLimit = 0);
    // Reads what it printed so far; call when its output is readable.
    void readOutput();
    int outputFd() const { return m_output; }
    // Waits up to the deadline until it listens (true), or says that it waits
    // for a server, or ends (false).
    bool waitListening(Clock::time_point deadline);
    // Why the last waitListening gave false, for the report.
    std::string whyNotListening() const;
    // Starts it and waits until it listens; when it does not, prints the
    // scenario's failure line with the reason and returns false.
    bool startListening(const char* scenario, std::chrono::milliseconds within);
    // SIGTERM, then SIGKILL after two seconds; fills the figures below.
    void stop();
    // Reaps it if it has ended; true when it has.
    bool reap();

    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    std::uint16_t listeningPort() const { return m_port; }
    long accepted() const { return m_accepted; }
    long ended() const { return m_ended; }
    // Lines about refused clients: one each, or one summing many.
    long refusalLines() const { return m_refusalLines; }
    bool waiting() const { return m_waiting; }
    const std::vector<std::string>& messages() const { return m_messages; }
    // /proc figures of the running program, KiB: "VmRSS:" now, "VmHWM:" its peak.
    long memoryKiB(const char* field = "VmRSS:") const;
    // Of the last run, once stopped or reaped.
    int exitCode() const { return m_exitCode; }
    int exitSignal() const { return m_exitSignal; }
    long peakKiB() const { return m_peakKiB; }
    double processorSeconds() const { return m_processorSeconds; }

private:
    void line(const std::string& text);
    void finished(int status, const ::rusage& usage);

    std::string m_folder;
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_partial;
    std::uint16_t m_port = 0;
    long m_accepted = 0;
    long m_ended = 0;
    long m_refusalLines = 0;
    bool m_waiting = false;
    std::vector<std::string> m_messages;
    int m_exitCode = -1;
    int m_exitSignal = 0;
    long m_peakKiB = 0;
    double m_processorSeconds = 0;
};

} // namespace qm::stress
