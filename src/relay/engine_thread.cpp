#include "relay/engine_thread.h"

#include <algorithm>
#include <sched.h>
#include <sys/epoll.h>
#include <system_error>

namespace qm {

namespace {

constexpr int EventsPerWait = 256;

} // namespace

int engineThreadsFor(int requested) {
    if (requested <= 0) {
        cpu_set_t set;
        requested = sched_getaffinity(0, sizeof set, &set) == 0
                        ? CPU_COUNT(&set)
                        : static_cast<int>(std::thread::hardware_concurrency());
    }
    return std::clamp(requested, 1, RelayEngine::MaxThreads);
}

EngineThread::EngineThread(EngineShared& shared) : m_loop(shared) {}

std::unique_ptr<EngineThread> EngineThread::start(EngineShared& shared) {
    std::unique_ptr<EngineThread> thread(new EngineThread(shared));
    if (thread->m_loop.epollFd < 0 || !thread->m_wake.valid())
        return nullptr;
    try {
        thread->m_thread = std::thread([raw = thread.get()] { raw->run(); });
    } catch (const std::system_error&) { // the system's limit on threads
        return nullptr;
    }
    return thread;
}

EngineThread::~EngineThread() {
    if (!m_thread.joinable())
        return;
    send({Command::Kind::Stop, nullptr, 0});
    m_thread.join();
}

void EngineThread::adopt(std::unique_ptr<LivePair> pair) {
    send({Command::Kind::Adopt, std::move(pair), 0});
}

void EngineThread::drop(quint64 serial) {
    send({Command::Kind::Drop, nullptr, serial});
}

bool EngineThread::sync(std::chrono::milliseconds limit) {
    const quint64 number = ++m_syncsAsked;
    send({Command::Kind::Sync, nullptr, number});
    std::unique_lock lock(m_mutex);
    return m_synced.wait_for(lock, limit, [&] { return m_syncsDone >= number; });
}

void EngineThread::send(Command command) {
    bool wasEmpty = false;
    {
        const std::lock_guard lock(m_mutex);
        wasEmpty = m_inbox.empty();
        m_inbox.push_back(std::move(command));
    }
    if (wasEmpty)
        m_wake.signal();
}

bool EngineThread::carryOut(std::vector<Command>& commands) {
    bool goOn = true;
    for (Command& command : commands) {
        switch (command.kind) {
        case Command::Kind::Adopt:
            m_loop.adopt(std::move(command.pair));
            break;
        case Command::Kind::Drop:
            m_loop.drop(command.number);
            break;
        case Command::Kind::Sync: {
            const std::lock_guard lock(m_mutex);
            m_syncsDone = command.number;
            m_synced.notify_all();
            break;
        }
        case Command::Kind::Stop:
            goOn = false;
            break;
        }
    }
    commands.clear();
    return goOn;
}

void EngineThread::run() {
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.ptr = nullptr; // no endpoint has this address
    epoll_ctl(m_loop.epollFd, EPOLL_CTL_ADD, m_wake.fd(), &wake);
    std::vector<Command> commands;
    epoll_event events[EventsPerWait];
    for (bool goOn = true; goOn;) {
        const int count = epoll_wait(m_loop.epollFd, events, EventsPerWait, m_loop.timeoutMs());
        bool woken = false;
        for (int i = 0; i < count; ++i) {
            if (events[i].data.ptr)
                m_loop.dispatch(*static_cast<Endpoint*>(events[i].data.ptr), events[i].events);
            else
                woken = true;
        }
        if (woken) {
            m_wake.drain();
            {
                const std::lock_guard lock(m_mutex);
                commands.swap(m_inbox);
            }
            goOn = carryOut(commands);
        }
        m_loop.runQueuedTurns();
        m_loop.runDueDeadlines();
        m_loop.collectGarbage();
    }
}

} // namespace qm
