#include "app/headless/line_output.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

LineOutput::LineOutput(int fd, qsizetype limit, QObject* parent)
    : QObject(parent), m_fd(fd), m_limit(limit) {
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        m_stopped = true; // no descriptor: nothing to print to
        return;
    }
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && (flags & O_NONBLOCK) == 0 &&
            ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0)
            m_flagsToRestore = flags;
    }
    m_writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    m_writable->setEnabled(false);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &LineOutput::writeQueued);
}

LineOutput::~LineOutput() {
    // The open file may be shared with the programs that started this one.
    if (m_flagsToRestore >= 0)
        ::fcntl(m_fd, F_SETFL, m_flagsToRestore);
}

void LineOutput::writeLine(const QString& line) {
    if (m_stopped)
        return;
    // Nothing waits, so any line dropped was over the bound on its own: say so first.
    if (m_queue.isEmpty())
        queueDropNotice();
    const QByteArray text = line.toUtf8() + '\n';
    // Once a line is dropped the later ones follow it, until the notice is queued.
    if (m_dropped > 0 || m_queue.size() + text.size() > m_limit) {
        ++m_dropped;
        return;
    }
    m_queue += text;
    if (!m_writable->isEnabled())
        writeQueued();
}

void LineOutput::flushWithin(std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!m_stopped && !m_queue.isEmpty() && !deadline.hasExpired()) {
        pollfd entry = {m_fd, POLLOUT, 0};
        ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
        writeQueued();
    }
}

void LineOutput::writeQueued() {
    // Bounded: every round takes bytes off the queue, which only the one
    // notice of dropped lines can grow.
    while (!m_queue.isEmpty()) {
        const ssize_t written =
            ::write(m_fd, m_queue.constData(), static_cast<size_t>(m_queue.size()));
        if (written > 0) {
            m_queue.remove(0, written); // a partial write goes on from the next byte
            queueDropNotice();
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            break;
        } else {
            stop();
            return;
        }
    }
    m_writable->setEnabled(!m_queue.isEmpty());
}

void LineOutput::queueDropNotice() {
    if (m_dropped == 0)
        return;
    const QByteArray notice =
        QStringLiteral("%1 lines dropped: standard output was not read in time")
            .arg(m_dropped)
            .toUtf8() +
        '\n';
    if (m_queue.size() + notice.size() > m_limit)
        return;
    m_queue += notice;
    m_dropped = 0;
}

void LineOutput::stop() {
    m_stopped = true;
    m_queue.clear();
    m_dropped = 0;
    m_writable->setEnabled(false);
}

} // namespace qm
