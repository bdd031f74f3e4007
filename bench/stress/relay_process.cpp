#include "relay_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qm::stress {

RelayProcess::RelayProcess(const std::string& builtProgram) {
    // In the temporary folder the environment names (TMPDIR), not a fixed one.
    std::string folder =
        (std::filesystem::temp_directory_path() / "quillet-stress-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        throw std::runtime_error("cannot make a folder for the program");
    m_folder = folder;
    std::filesystem::copy_file(builtProgram, m_folder + "/quillet-mirror");
}

RelayProcess::~RelayProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::string RelayProcess::configFor(std::uint16_t clientPort, std::uint16_t serverPort) {
    const std::string server = std::to_string(serverPort);
    return "[main]\nAuto_Start=0\nClient_Port=" + std::to_string(clientPort) +
           "\nServer_IP=127.0.0.1\nServer_Port=" + server +
           "\nServer2_IP=127.0.0.1\nServer2_Port=" + server + "\n";
}

void RelayProcess::start(long descriptorLimit) {
    stop();
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    m_port = 0;
    m_accepted = m_ended = m_refusalLines = 0;
    m_messages.clear();
    m_waiting = false;
    m_partial.clear();
    m_exitCode = -1;
    m_exitSignal = 0;
    const std::string program = m_folder + "/quillet-mirror";
    m_pid = fork();
    if (m_pid == 0) {
        dup2(ends[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        if (descriptorLimit > 0) {
            const rlimit limit{static_cast<rlim_t>(descriptorLimit),
                               static_cast<rlim_t>(descriptorLimit)};
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        chdir("/");
        execl(program.c_str(), "quillet-mirror", "--headless", nullptr);
        _exit(127);
    }
    ::close(ends[1]);
    m_output = ends[0];
    fcntl(m_output, F_SETFL, fcntl(m_output, F_GETFL) | O_NONBLOCK);
}

void RelayProcess::readOutput() {
    if (m_output < 0)
        return;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(m_output, buffer, sizeof buffer);
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            ::close(m_output);
            m_output = -1;
            return;
        }
        m_partial.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = m_partial.find('\n', start)) != std::string::npos;
             start = end + 1)
            line(m_partial.substr(start, end - start));
        m_partial.erase(0, start);
    }
}

void RelayProcess::line(const std::string& text) {
    if (text.rfind("listening on port ", 0) == 0)
        m_port = static_cast<std::uint16_t>(std::atoi(text.c_str() + 18));
    else if (text.rfind("client ", 0) == 0 && text.find(" accepted in slot ") != std::string::npos)
        ++m_accepted;
    else if (text.rfind("pair ", 0) == 0 && text.find(" ended: ") != std::string::npos)
        ++m_ended;
    else if (text.rfind("client", 0) == 0 && text.find(" refused") != std::string::npos)
        ++m_refusalLines;
    else if (text.rfind("waiting for a server", 0) == 0)
        m_waiting = true;
    if (const std::size_t at = text.find("message: "); at != std::string::npos)
        m_messages.push_back(text.substr(at + 9));
}

bool RelayProcess::startListening(const char* scenario, std::chrono::milliseconds within) {
    start();
    if (waitListening(Clock::now() + within))
        return true;
    std::printf("%s: FAILED, the relay did not start: %s\n", scenario, whyNotListening().c_str());
    std::fflush(stdout);
    return false;
}

bool RelayProcess::waitListening(Clock::time_point deadline) {
    while (m_port == 0 && !m_waiting && Clock::now() < deadline) {
        if (reap())
            return false;
        if (m_output >= 0) {
            pollfd entry{m_output, POLLIN, 0};
            ::poll(&entry, 1, 10);
            readOutput();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return m_port != 0;
}

std::string RelayProcess::whyNotListening() const {
    std::string why;
    if (m_pid > 0)
        why = m_waiting ? "it waits for a server" : "no word that it listens";
    else if (m_exitSignal != 0)
        why = "it ended by signal " + std::to_string(m_exitSignal);
    else
        why = "it ended with code " + std::to_string(m_exitCode);
    if (!m_messages.empty())
        why += "; its last message: " + m_messages.back();
    return why;
}

void RelayProcess::finished(int status, const ::rusage& usage) {
    readOutput();
    m_pid = -1;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_exitSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    m_peakKiB = usage.ru_maxrss;
    m_processorSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (m_output >= 0) {
        ::close(m_output);
        m_output = -1;
    }
}

bool RelayProcess::reap() {
    if (m_pid <= 0)
        return true;
    int status = 0;
    ::rusage usage{};
    if (wait4(m_pid, &status, WNOHANG, &usage) != m_pid)
        return false;
    finished(status, usage);
    return true;
}

void RelayProcess::stop() {
    if (m_pid <= 0)
        return;
    // The peak of the program itself; a reaped child's figure also holds the
    // size of the process it was forked from.
    const long peak = memoryKiB("VmHWM:");
    kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < deadline) {
        readOutput(); // a full pipe must not hold up its exit
        if (reap()) {
            m_peakKiB = peak > 0 ? peak : m_peakKiB;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(m_pid, SIGKILL);
    int status = 0;
    ::rusage usage{};
    wait4(m_pid, &status, 0, &usage);
    finished(status, usage);
    m_peakKiB = peak > 0 ? peak : m_peakKiB;
}

long RelayProcess::memoryKiB(const char* field) const {
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == field && status >> value)
            return value;
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

} // namespace qm::stress
