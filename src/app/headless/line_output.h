#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <chrono>
#include <memory>

namespace qm {

// Lines for a descriptor whose reader may stall, as standard output in the
// headless mode: a pipe or socket is made non-blocking, and what it does not
// take at once waits in memory, up to a bound, until it becomes writable. A
// terminal or regular file keeps its mode. Beyond the bound whole lines are
// dropped and their number is printed once writing resumes. A reader that has
// gone (EPIPE) or any other write error ends the output for good.
class LineOutput : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype DefaultLimit = 1024 * 1024;

    explicit LineOutput(int fd, qsizetype limit = DefaultLimit, QObject* parent = nullptr);
    ~LineOutput() override; // gives the descriptor back its blocking mode

    void writeLine(const QString& line);
    // For the exit: waits at most timeout for the descriptor to take the queue.
    void flushWithin(std::chrono::milliseconds timeout);

private:
    void writeQueued();
    void queueDropNotice();
    void stop();

    int m_fd;
    qsizetype m_limit;
    int m_flagsToRestore = -1;
    bool m_stopped = false;
    QByteArray m_queue; // whole lines, the first one possibly partly written
    qint64 m_dropped = 0;
    std::unique_ptr<QSocketNotifier> m_writable; // enabled while the queue waits
};

} // namespace qm
