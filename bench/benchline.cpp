#include "benchline.h"

#include "affinity.h"
#include "benchclock.h"
#include "rawpty.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
constexpr qint64 SpinNs = 200000;
} // namespace

BenchLine::BenchLine(const EngineOptions &options)
    : m_engine(options)
{
}

BenchLine::~BenchLine()
{
    if (m_thread.joinable()) {
        m_stop = true;
        wake();
        m_thread.join();
    }
    for (int fd : {m_master, m_slave, m_wakeFd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool BenchLine::start()
{
    if (!m_engine.isReady())
        return false;
    const RawPty pty = openRawPty();
    if (!pty.isOpen())
        return false;
    m_master = pty.master;
    m_slave = pty.slave;
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        return false;
    m_portName = pty.slavePath;
    m_startNs = steadyNs();
    m_thread = std::thread([this] { run(); });
    return true;
}

void BenchLine::onLineThread(const std::function<void(DeviceEngine &)> &action)
{
    std::unique_lock<std::mutex> lock(m_tasksLock);
    m_tasks.push_back(action);
    const quint64 ticket = ++m_tasksQueued;
    wake();
    m_tasksDone.wait(lock, [&] { return m_tasksRun >= ticket; });
}

void BenchLine::resetMarks()
{
    m_firstReadNs = 0;
    m_firstWriteNs = 0;
    m_lastWriteNs = 0;
    m_bytesRead = 0;
    m_bytesWritten = 0;
    m_latenessNs = 0;
    m_latenessCount = 0;
    m_turnaroundNs = 0;
    m_turnaroundCount = 0;
}

BenchLine::Marks BenchLine::marks() const
{
    return Marks{m_firstReadNs,  m_firstWriteNs,   m_lastWriteNs,  m_bytesRead,      m_bytesWritten,
                 m_latenessNs,   m_latenessCount,  m_turnaroundNs, m_turnaroundCount};
}

void BenchLine::wake()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

qint64 BenchLine::engineNowUs() const
{
    return (steadyNs() - m_startNs) / 1000;
}

void BenchLine::run()
{
    pthread_setname_np(pthread_self(), "device line");
    Affinity::pinCallingThread(Affinity::deviceCpu());
    // Wake-ups when the engine asks for them, not up to 50 us later.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    QByteArray pending; // taken from the engine, not yet all taken by the line
    qint64 written = 0;
    std::vector<char> buffer(65536);
    qint64 dueNs = 0;             // when the engine said its next bytes were due
    bool wroteSinceRead = false;

    while (!m_stop) {
        {
            std::lock_guard<std::mutex> lock(m_tasksLock);
            if (!m_tasks.empty()) {
                for (const auto &task : m_tasks)
                    task(m_engine);
                m_tasksRun += m_tasks.size();
                m_tasks.clear();
                m_tasksDone.notify_all();
            }
        }

        // Everything that is due goes out, piece by piece, until the line is
        // full or nothing more is due.
        for (;;) {
            if (written >= pending.size()) {
                pending = m_engine.takeDueOutput(engineNowUs());
                written = 0;
                if (pending.isEmpty())
                    break;
                if (dueNs > 0) {
                    m_latenessNs += steadyNs() - dueNs;
                    ++m_latenessCount;
                    dueNs = 0;
                }
            }
            const qint64 beganNs = steadyNs();
            const ssize_t n = ::write(m_master, pending.constData() + written, size_t(pending.size() - written));
            if (n > 0) {
                qint64 expected = 0;
                m_firstWriteNs.compare_exchange_strong(expected, beganNs);
                m_lastWriteNs = steadyNs();
                m_bytesWritten += n;
                written += n;
                wroteSinceRead = true;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break; // full: wait until the reader takes some
        }

        const bool blocked = written < pending.size();
        pollfd fds[2] = {{m_master, short(POLLIN | (blocked ? POLLOUT : 0)), 0}, {m_wakeFd, POLLIN, 0}};
        timespec timeout{};
        timespec *timeoutPointer = nullptr;
        dueNs = 0;
        if (!blocked) {
            const qint64 due = m_engine.nextDueUs();
            if (due != DeviceEngine::NothingDue) {
                dueNs = m_startNs + due * 1000;
                // The last stretch is spun (polls that do not sleep), as a
                // wake-up from a sleep may come tens of microseconds late.
                const qint64 waitNs = std::max<qint64>(0, dueNs - steadyNs() - SpinNs);
                timeout.tv_sec = waitNs / 1000000000;
                timeout.tv_nsec = waitNs % 1000000000;
                timeoutPointer = &timeout;
            }
        }
        if (::ppoll(fds, 2, timeoutPointer, nullptr) < 0 && errno != EINTR)
            break;

        if (fds[1].revents & POLLIN) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
        }
        if (fds[0].revents & POLLIN) {
            QByteArray incoming;
            const qint64 readNs = steadyNs();
            for (;;) {
                const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
                if (n > 0) {
                    incoming.append(buffer.data(), int(n));
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                break;
            }
            if (!incoming.isEmpty()) {
                qint64 expected = 0;
                m_firstReadNs.compare_exchange_strong(expected, readNs);
                m_bytesRead += incoming.size();
                if (wroteSinceRead && m_lastWriteNs > 0) { // not across a reset of the marks
                    m_turnaroundNs += readNs - m_lastWriteNs;
                    ++m_turnaroundCount;
                    wroteSinceRead = false;
                }
                m_engine.receive(incoming, (readNs - m_startNs) / 1000);
            }
        }
    }
}
