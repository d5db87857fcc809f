#include "barepty.h"

#include "affinity.h"
#include "benchclock.h"
#include "rawpty.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <pthread.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Pty
{
    int master = -1;
    int slave = -1;

    Pty()
    {
        // Plain blocking reads and writes on both ends.
        const RawPty pty = openRawPty(MasterMode::Blocking);
        master = pty.master;
        slave = pty.slave;
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    bool isValid() const { return master >= 0; }
};

// Moves size bytes with io (::read or ::write), retrying after signals and
// short transfers; false when the line fails or ends first.
template <typename Io, typename Pointer>
bool transferAll(Io io, int fd, Pointer data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = io(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    return transferAll(::write, fd, data, size);
}

bool readAll(int fd, char *data, qint64 size)
{
    return transferAll(::read, fd, data, size);
}

} // namespace

namespace BarePty {

double transferSeconds(qint64 byteCount)
{
    Pty pty;
    if (!pty.isValid())
        return -1;
    constexpr qint64 Block = 65536;
    std::vector<char> out(Block, 'x');
    std::atomic<bool> go{false};
    std::thread writer([&] {
        pthread_setname_np(pthread_self(), "bare writer");
        Affinity::pinCallingThread(Affinity::deviceCpu());
        while (!go)
            std::this_thread::yield();
        for (qint64 left = byteCount; left > 0; left -= Block)
            writeAll(pty.master, out.data(), std::min(left, Block));
    });
    std::vector<char> in(Block);
    const qint64 startNs = steadyNs();
    go = true;
    qint64 received = 0;
    while (received < byteCount) {
        const ssize_t n = ::read(pty.slave, in.data(), in.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        received += n;
    }
    const qint64 endNs = steadyNs();
    writer.join();
    return received == byteCount ? double(endNs - startNs) / 1e9 : -1;
}

double pingPongSeconds(int rounds, int frameBytes, int answerBytes)
{
    Pty pty;
    if (!pty.isValid())
        return -1;
    std::thread device([&] {
        pthread_setname_np(pthread_self(), "bare device");
        Affinity::pinCallingThread(Affinity::deviceCpu());
        std::vector<char> frame(static_cast<size_t>(frameBytes));
        const std::vector<char> answer(size_t(answerBytes), 'A');
        for (int round = 0; round < rounds; ++round) {
            if (!readAll(pty.master, frame.data(), frameBytes) || !writeAll(pty.master, answer.data(), answerBytes))
                return;
        }
    });
    const std::vector<char> frame(size_t(frameBytes), 'U');
    std::vector<char> answer(static_cast<size_t>(answerBytes));
    const qint64 startNs = steadyNs();
    int done = 0;
    for (; done < rounds; ++done) {
        if (!writeAll(pty.slave, frame.data(), frameBytes) || !readAll(pty.slave, answer.data(), answerBytes))
            break;
    }
    const qint64 endNs = steadyNs();
    device.join();
    return done == rounds ? double(endNs - startNs) / 1e9 : -1;
}

double idleAnswerMicros(int rounds, int frameBytes, int answerBytes, qint64 gapUs)
{
    Pty pty;
    if (!pty.isValid())
        return -1;
    qint64 answerNs = 0;
    qint64 count = 0;
    std::thread device([&] {
        pthread_setname_np(pthread_self(), "bare device");
        Affinity::pinCallingThread(Affinity::deviceCpu());
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        std::vector<char> frame(static_cast<size_t>(frameBytes));
        const std::vector<char> answer(static_cast<size_t>(answerBytes), 'A');
        qint64 answeredNs = 0;
        for (int round = 0; round < rounds; ++round) {
            if (!readAll(pty.master, frame.data(), frameBytes))
                return;
            const qint64 readNs = steadyNs();
            if (answeredNs > 0) {
                answerNs += readNs - answeredNs;
                ++count;
            }
            // Sleep, then spin the last 200 us, as the line of the benchmarks does.
            const qint64 dueNs = readNs + gapUs * 1000;
            const qint64 sleepNs = dueNs - 200000 - steadyNs();
            if (sleepNs > 0) {
                const timespec pause{time_t(sleepNs / 1000000000), long(sleepNs % 1000000000)};
                nanosleep(&pause, nullptr);
            }
            while (steadyNs() < dueNs) {
            }
            if (!writeAll(pty.master, answer.data(), answerBytes))
                return;
            answeredNs = steadyNs();
        }
    });
    const std::vector<char> frame(static_cast<size_t>(frameBytes), 'U');
    std::vector<char> answer(static_cast<size_t>(answerBytes));
    for (int round = 0; round < rounds; ++round) {
        if (!writeAll(pty.slave, frame.data(), frameBytes))
            break;
        if (round + 1 < rounds && !readAll(pty.slave, answer.data(), answerBytes))
            break;
    }
    device.join();
    return count > 0 ? double(answerNs) / double(count) / 1000 : -1;
}

} // namespace BarePty
