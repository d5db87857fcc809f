#include "cliprocess.h"

#include "benchclock.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// argv for posix_spawn: the strings live as long as this.
class Arguments
{
public:
    Arguments(const QString &program, const QStringList &arguments)
    {
        m_strings.push_back(QFile::encodeName(program).toStdString());
        for (const QString &argument : arguments)
            m_strings.push_back(argument.toLocal8Bit().toStdString());
        for (std::string &text : m_strings)
            m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
    }
    char *const *argv() { return m_pointers.data(); }
    const char *path() const { return m_strings.front().c_str(); }

private:
    std::vector<std::string> m_strings;
    std::vector<char *> m_pointers;
};

int makeMemoryFile(const char *name)
{
    return int(::syscall(SYS_memfd_create, name, 0));
}

QByteArray readMemoryFile(int fd)
{
    QByteArray bytes;
    if (fd < 0)
        return bytes;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size <= 0)
        return bytes;
    bytes.resize(int(size));
    const ssize_t n = ::pread(fd, bytes.data(), size_t(size), 0);
    bytes.resize(n > 0 ? int(n) : 0);
    return bytes;
}

// A descriptor that becomes readable when the process ends; -1 where the
// kernel has none (the wait then polls).
int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

bool reap(pid_t pid, int *status, bool block)
{
    for (;;) {
        const pid_t done = ::waitpid(pid, status, block ? 0 : WNOHANG);
        if (done < 0 && errno == EINTR)
            continue;
        return done == pid;
    }
}

// The process's peak resident memory so far (VmHWM); 0 once it has ended.
// Not getrusage(): a child made by vfork starts with its parent's peak.
qint64 highWaterKiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return 0;
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

// ---- the emulator ----------------------------------------------------------------

EmulatorProcess::~EmulatorProcess()
{
    stop();
    if (m_stderr >= 0)
        ::close(m_stderr);
}

QString EmulatorProcess::storeFolder() const
{
    return m_store ? m_store->path() : QString();
}

bool EmulatorProcess::start(const QString &program, const QString &storeSource, const QStringList &arguments, int cpu)
{
    stop();
    const QString shm = QStringLiteral("/dev/shm");
    const QFileInfo shmInfo(shm);
    m_store = std::make_unique<QTemporaryDir>(
            (shmInfo.isDir() && shmInfo.isWritable() ? shm : QDir::tempPath()) + QStringLiteral("/spiffs-bench-store-XXXXXX"));
    if (!m_store->isValid()) {
        m_error = QStringLiteral("cannot make a folder for the store");
        return false;
    }
    if (!storeSource.isEmpty()) {
        const QDir source(storeSource);
        const QStringList names = source.entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : names) {
            if (!QFile::copy(source.filePath(name), QDir(m_store->path()).filePath(name))) {
                m_error = QStringLiteral("cannot copy %1 into the store").arg(name);
                return false;
            }
        }
    }

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_stdout = out[0];
    if (m_stderr >= 0)
        ::close(m_stderr);
    m_stderr = makeMemoryFile("spiffs-emulator stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (m_stderr >= 0)
        posix_spawn_file_actions_adddup2(&actions, m_stderr, STDERR_FILENO);
    Arguments argv(program, QStringList{QStringLiteral("--dir"), m_store->path()} + arguments);
    const int spawned = posix_spawn(&m_pid, argv.path(), &actions, nullptr, argv.argv(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        m_pid = -1;
        m_error = QStringLiteral("cannot start %1: %2").arg(program, QString::fromLocal8Bit(std::strerror(spawned)));
        return false;
    }
    // Before it has started any thread of its own, which would keep the
    // affinity they were started with.
    if (cpu >= 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        sched_setaffinity(m_pid, sizeof one, &one);
    }

    // The first line on standard output is the port.
    QByteArray line;
    const qint64 deadlineNs = steadyNs() + qint64(10) * 1000000000;
    while (!line.contains('\n')) {
        const qint64 leftMs = (deadlineNs - steadyNs()) / 1000000;
        pollfd fd{m_stdout, POLLIN, 0};
        if (leftMs <= 0 || ::poll(&fd, 1, int(leftMs)) <= 0) {
            m_error = QStringLiteral("spiffs-emulator printed no port: %1").arg(QString::fromLocal8Bit(log()));
            stop();
            return false;
        }
        char buffer[256];
        const ssize_t n = ::read(m_stdout, buffer, sizeof buffer);
        if (n <= 0) {
            m_error = QStringLiteral("spiffs-emulator ended: %1").arg(QString::fromLocal8Bit(log()));
            stop();
            return false;
        }
        line.append(buffer, int(n));
    }
    m_portName = QString::fromLocal8Bit(line.left(line.indexOf('\n'))).trimmed();
    return !m_portName.isEmpty();
}

void EmulatorProcess::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const qint64 deadlineNs = steadyNs() + qint64(5) * 1000000000;
        bool reaped = false;
        while (!(reaped = reap(m_pid, &status, false)) && steadyNs() < deadlineNs)
            ::usleep(2000);
        if (!reaped) {
            ::kill(m_pid, SIGKILL);
            reap(m_pid, &status, true);
        }
        m_pid = -1;
    }
    if (m_stdout >= 0)
        ::close(m_stdout);
    m_stdout = -1;
    // The log stays readable until the next start.
    m_portName.clear();
}

QByteArray EmulatorProcess::log() const
{
    return readMemoryFile(m_stderr);
}

// ---- the command line ------------------------------------------------------------

CliTimings runCli(const CliRun &run)
{
    CliTimings timings;
    const int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watcher < 0) {
        timings.error = QStringLiteral("inotify: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return timings;
    }
    const uint32_t portEvents = IN_OPEN | IN_MODIFY | (run.watchPortReads ? IN_ACCESS : 0);
    int portWatch = inotify_add_watch(watcher, QFile::encodeName(run.port).constData(), portEvents);
    const int folderWatch = run.watchedFolder.isEmpty()
                                    ? -1
                                    : inotify_add_watch(watcher, QFile::encodeName(run.watchedFolder).constData(),
                                                        IN_MOVED_TO | IN_CREATE | IN_CLOSE_WRITE);
    if (portWatch < 0 || (!run.watchedFolder.isEmpty() && folderWatch < 0)) {
        timings.error = QStringLiteral("cannot watch %1: %2").arg(run.port, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(watcher);
        return timings;
    }

    const int out = makeMemoryFile("spiffs-cli stdout");
    const int err = makeMemoryFile("spiffs-cli stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    if (err >= 0)
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
    if (!run.workingFolder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, QFile::encodeName(run.workingFolder).constData());
#endif
    Arguments argv(run.program, QStringList{QStringLiteral("-p"), run.port} + run.arguments);
    pid_t pid = -1;
    timings.startNs = steadyNs();
    const int spawned = posix_spawn(&pid, argv.path(), &actions, nullptr, argv.argv(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        timings.error = QStringLiteral("cannot start %1: %2").arg(run.program, QString::fromLocal8Bit(std::strerror(spawned)));
        for (int fd : {watcher, out, err}) {
            if (fd >= 0)
                ::close(fd);
        }
        return timings;
    }
    const int pidFd = openPidFd(pid);

    const auto takeEvents = [&](qint64 nowNs) {
        alignas(inotify_event) char events[8192];
        for (;;) {
            const ssize_t n = ::read(watcher, events, sizeof events);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(events + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (event->wd == portWatch && portWatch >= 0) {
                    if ((event->mask & IN_OPEN) && timings.openedNs == 0)
                        timings.openedNs = nowNs;
                    if (event->mask & IN_ACCESS) {
                        if (timings.firstReadNs == 0)
                            timings.firstReadNs = nowNs;
                        timings.lastReadNs = nowNs;
                    }
                    if (event->mask & IN_MODIFY) {
                        timings.writeNs.append(nowNs);
                        if (run.portWritesWatched >= 0 && timings.writeNs.size() >= run.portWritesWatched) {
                            inotify_rm_watch(watcher, portWatch);
                            portWatch = -1;
                        }
                    }
                } else if (event->wd == folderWatch && event->len > 0
                           && (event->mask & (IN_MOVED_TO | IN_CREATE | IN_CLOSE_WRITE))) {
                    timings.savedNs.insert(QFile::decodeName(event->name), nowNs);
                }
            }
        }
    };

    int status = 0;
    bool exited = false;
    const qint64 deadlineNs = timings.startNs + qint64(run.timeoutMs) * 1000000;
    while (!exited) {
        const qint64 nowNs = steadyNs();
        if (nowNs >= deadlineNs)
            break;
        pollfd fds[2] = {{watcher, POLLIN, 0}, {pidFd, POLLIN, 0}};
        // Without a pidfd the exit is looked for every millisecond; memory
        // is sampled every few.
        int waitMs = pidFd >= 0 ? int(std::min<qint64>((deadlineNs - nowNs) / 1000000 + 1, 1000)) : 1;
        if (run.sampleMemory) {
            waitMs = std::min(waitMs, 2);
            timings.peakKiB = std::max(timings.peakKiB, highWaterKiB(pid));
        }
        const int ready = ::poll(fds, pidFd >= 0 ? 2 : 1, waitMs);
        const qint64 wokeNs = steadyNs();
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            takeEvents(wokeNs);
        if (pidFd >= 0 ? (fds[1].revents & POLLIN) != 0 : reap(pid, &status, false)) {
            timings.exitNs = wokeNs;
            exited = true;
        }
    }
    if (exited) {
        if (pidFd >= 0)
            reap(pid, &status, true);
        takeEvents(timings.exitNs); // anything raised at the very end
        timings.finished = true;
        timings.exitCode = exitCodeOf(status);
    } else {
        ::kill(pid, SIGKILL);
        reap(pid, &status, true);
        timings.error = QStringLiteral("no exit within %1 ms").arg(run.timeoutMs);
    }

    timings.standardOutput = readMemoryFile(out);
    timings.standardError = readMemoryFile(err);
    for (int fd : {watcher, pidFd, out, err}) {
        if (fd >= 0)
            ::close(fd);
    }
    return timings;
}
