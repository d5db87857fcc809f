#include "emulatorhost.h"

#include "rawpty.h"

#include <QtCore/QMutexLocker>
#include <QtCore/QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

namespace {
// How long a hang-up waits for the reader to take the last bytes, and how
// long at least, for the bytes to reach the slave's queue.
constexpr qint64 HangUpDrainMs = 1000;
constexpr qint64 HangUpSettleMs = 20;
// A wake-up from the timerfd through the event loop comes some tens of
// microseconds late; the last stretch before a due time is spun instead.
constexpr qint64 SpinUs = 150;
// The bytes of a paced reply go out in writes at least this far apart.
constexpr qint64 BatchUs = 1000;

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}
} // namespace

EmulatorHost::EmulatorHost(const EngineOptions &options, QObject *parent)
    : QObject(parent)
    , m_engine(options)
    , m_dueTimer(this)
{
    m_startNs = monotonicNs();
    m_dueTimer.setSingleShot(true);
    connect(&m_dueTimer, &QTimer::timeout, this, &EmulatorHost::pump);
    m_wakeFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_wakeFd >= 0) {
        m_wakeNotifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this);
        connect(m_wakeNotifier, &QSocketNotifier::activated, this, &EmulatorHost::onWake);
    }
    m_engine.setLogger([this](const QString &line) { emit logLine(line); });
}

EmulatorHost::EmulatorHost(std::unique_ptr<LineEngine> served, QObject *parent)
    : EmulatorHost(EngineOptions(), parent)
{
    m_other = std::move(served);
    m_served = m_other.get();
    m_served->setLogger([this](const QString &line) { emit logLine(line); });
}

EmulatorHost::~EmulatorHost()
{
    m_engine.setLogger(nullptr);
    if (m_other)
        m_other->setLogger(nullptr);
    closeLine();
    delete m_wakeNotifier;
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool EmulatorHost::start()
{
    if (!m_engine.isReady()) {
        m_error = m_engine.error();
        return false;
    }
    if (m_wakeFd < 0) {
        m_error = QStringLiteral("timerfd_create: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return openLine();
}

QString EmulatorHost::errorString() const
{
    return m_error;
}

qint64 EmulatorHost::nowUs() const
{
    return (monotonicNs() - m_startNs) / 1000;
}

QString EmulatorHost::portName() const
{
    QMutexLocker locker(&m_nameLock);
    return m_portName;
}

bool EmulatorHost::openLine()
{
    const RawPty pty = openRawPty();
    if (!pty.isOpen()) {
        m_error = pty.error;
        return false;
    }
    // The old line goes only now, so the new one cannot get its number.
    closeLine();
    m_master = pty.master;
    m_slave = pty.slave;
    ++m_lineNumber;
    {
        QMutexLocker locker(&m_nameLock);
        m_portName = pty.slavePath;
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &EmulatorHost::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &EmulatorHost::onWritable);
    m_clients = 0;
    // Every line is watched, for the closes if for nothing else (takeOpens()).
    m_opensFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const uint32_t events = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
    if (m_opensFd < 0 || inotify_add_watch(m_opensFd, pty.slavePath.toLocal8Bit().constData(), events) < 0) {
        const QString problem = QStringLiteral("cannot watch %1 for opens: %2")
                                        .arg(pty.slavePath, QString::fromLocal8Bit(std::strerror(errno)));
        if (m_served->watchesOpens() || m_served->sendsWithoutReader()) {
            m_error = problem;
            closeLine();
            return false;
        }
        emit logLine(problem + QStringLiteral("; a client that dies holding the line leaves it busy"));
        if (m_opensFd >= 0)
            ::close(m_opensFd);
        m_opensFd = -1;
    } else {
        m_opensNotifier = new QSocketNotifier(m_opensFd, QSocketNotifier::Read, this);
        connect(m_opensNotifier, &QSocketNotifier::activated, this, [this] {
            takeOpens();
            pump();
        });
    }
    pump();
    return true;
}

void EmulatorHost::closeLine()
{
    m_dueTimer.stop();
    wakeAt(LineEngine::NothingDue);
    m_hangingUp = false;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    delete m_opensNotifier;
    m_opensNotifier = nullptr;
    if (m_opensFd >= 0)
        ::close(m_opensFd);
    m_opensFd = -1;
    m_unwritten.clear();
    m_written = 0;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    QMutexLocker locker(&m_nameLock);
    m_portName.clear();
}

void EmulatorHost::hangUp()
{
    if (m_master < 0)
        return;
    closeLine();
    emit lineHungUp();
}

bool EmulatorHost::plugIn()
{
    m_served->reconnect();
    if (!openLine())
        return false;
    emit pluggedIn(portName());
    return true;
}

void EmulatorHost::hangUpWhenTaken(int lineNumber, QDeadlineTimer deadline)
{
    if (lineNumber != m_lineNumber || m_master < 0)
        return; // that line is gone already
    // Bytes are still on their way from the master to the slave's queue for
    // a moment after the write; the reader must have taken them all before
    // the line goes, or a hang-up would swallow them. When nobody reads,
    // the deadline ends the wait.
    int queued = 0;
    const bool settled = deadline.remainingTime() <= HangUpDrainMs - HangUpSettleMs;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &queued) != 0 || (settled && queued == 0)
        || deadline.hasExpired()) {
        hangUp();
        return;
    }
    QTimer::singleShot(1, this, [this, lineNumber, deadline] { hangUpWhenTaken(lineNumber, deadline); });
}

// The master sees neither opens nor closes while the host holds the slave,
// so the slave's path is watched instead: every open(2) of it raises
// IN_OPEN, as every open of a real port pulls DTR and RTS. (Polling the line
// settings for a change missed a client that kept the settings it found.)
// The open is taken before any byte read after it, and what the earlier
// client left unread is dropped, as a real port starts empty.
//
// A serial port is opened for exclusive use (TIOCEXCL) and the flag is
// cleared when the port is closed the serial way; a client killed, or one
// that never clears it, leaves it on the line, which lives on while the
// host holds the slave, and every later open fails as busy. Once the last
// client has gone the host clears it, as unplugging a device would.
void EmulatorHost::takeOpens()
{
    alignas(inotify_event) char events[4096];
    bool opened = false;
    bool closed = false;
    for (;;) {
        const ssize_t n = ::read(m_opensFd, events, sizeof events);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events + at);
            opened = opened || (event->mask & IN_OPEN);
            if (event->mask & IN_OPEN)
                ++m_clients;
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                m_clients = std::max(0, m_clients - 1);
                closed = true;
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    if (closed && m_clients == 0 && m_slave >= 0)
        ::ioctl(m_slave, TIOCNXCL);
    if (!opened || !m_served->watchesOpens())
        return;
    // What the engine had sent and nobody read is gone with the old opener.
    m_unwritten.clear();
    m_written = 0;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    tcflush(m_slave, TCIFLUSH);
    m_served->lineOpened(nowUs());
}

void EmulatorHost::onReadable()
{
    // An open comes before whatever the opener then wrote.
    if (m_opensFd >= 0)
        takeOpens();
    char buffer[65536];
    QByteArray incoming;
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            incoming.append(buffer, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read; EIO cannot happen while we hold the slave
    }
    if (!incoming.isEmpty())
        m_served->receive(incoming, nowUs());
    const QByteArrayList &openedFiles = m_engine.openedFiles();
    while (m_openedReported < openedFiles.size())
        emit opened(QString::fromUtf8(openedFiles.at(m_openedReported++)));
    pump();
}

void EmulatorHost::onWritable()
{
    flushWrites();
    if (m_unwritten.isEmpty())
        pump();
}

void EmulatorHost::flushWrites()
{
    while (m_master >= 0 && m_written < m_unwritten.size()) {
        const ssize_t n =
                ::write(m_master, m_unwritten.constData() + m_written, size_t(m_unwritten.size() - m_written));
        if (n > 0) {
            m_written += int(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break; // the line is full: wait until it takes more
        }
    }
    if (m_written >= m_unwritten.size()) {
        m_unwritten.clear();
        m_written = 0;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_unwritten.isEmpty());
}

void EmulatorHost::pump()
{
    for (;;) {
        if (m_master < 0)
            return;
        // The line takes a piece only when the one before it has gone, so
        // every piece is its own write.
        if (m_opensFd >= 0)
            takeOpens();
        // Sent on time, into a port nobody holds open: lost.
        const bool unread = m_clients == 0 && m_served->sendsWithoutReader();
        if (unread)
            m_unwritten.clear();
        if (m_unwritten.isEmpty()) {
            m_unwritten = m_served->takeDueOutput(nowUs());
            if (unread)
                m_unwritten.clear();
            flushWrites();
        }
        if (m_served->lineClosed()) {
            // What was taken goes out before the line is cut.
            if (m_unwritten.isEmpty() && !m_hangingUp) {
                m_hangingUp = true;
                hangUpWhenTaken(m_lineNumber, QDeadlineTimer(HangUpDrainMs));
            }
            return;
        }
        if (!m_unwritten.isEmpty())
            return; // the write notifier calls back
        const qint64 next = m_served->nextDueUs();
        if (next == LineEngine::NothingDue) {
            wakeAt(LineEngine::NothingDue);
            return;
        }
        const qint64 now = nowUs();
        const qint64 dueUs = std::max(next, std::min(m_served->pieceEndUs(), now + BatchUs));
        if (dueUs <= now) {
            m_dueTimer.start(0);
            return;
        }
        if (dueUs - now > SpinUs) {
            wakeAt(dueUs - SpinUs);
            return;
        }
        while (nowUs() < dueUs) {
        }
    }
}

// Qt's timers count whole milliseconds, which would make every chunk
// acknowledgement of a paced upload up to a millisecond late; the timerfd
// wakes the loop shortly before the due time, and the rest is spun.
void EmulatorHost::wakeAt(qint64 dueUs)
{
    if (m_wakeFd < 0)
        return;
    itimerspec wakeUp{}; // all zero: disarmed
    if (dueUs != LineEngine::NothingDue) {
        const qint64 atNs = m_startNs + dueUs * 1000;
        wakeUp.it_value.tv_sec = time_t(atNs / 1000000000);
        wakeUp.it_value.tv_nsec = long(atNs % 1000000000);
    }
    timerfd_settime(m_wakeFd, TFD_TIMER_ABSTIME, &wakeUp, nullptr);
}

void EmulatorHost::onWake()
{
    quint64 expirations = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &expirations, sizeof expirations);
    pump();
}
