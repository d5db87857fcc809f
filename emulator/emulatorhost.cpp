#include "emulatorhost.h"

#include "rawpty.h"

#include <QtCore/QMutexLocker>
#include <QtCore/QSocketNotifier>

#include <algorithm>

namespace {
// How long a hang-up waits for the reader to take the last bytes, and how
// long at least, for the bytes to reach the slave's queue.
constexpr qint64 HangUpDrainMs = 1000;
constexpr qint64 HangUpSettleMs = 20;
} // namespace

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

EmulatorHost::EmulatorHost(const EngineOptions &options, QObject *parent)
    : QObject(parent)
    , m_engine(options)
    , m_dueTimer(this)
{
    m_clock.start();
    m_dueTimer.setSingleShot(true);
    m_dueTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_dueTimer, &QTimer::timeout, this, &EmulatorHost::pump);
    m_engine.setLogger([this](const QString &line) { emit logLine(line); });
}

EmulatorHost::~EmulatorHost()
{
    m_engine.setLogger(nullptr);
    closeLine();
}

bool EmulatorHost::start()
{
    if (!m_engine.isReady()) {
        m_error = m_engine.error();
        return false;
    }
    return openLine();
}

QString EmulatorHost::errorString() const
{
    return m_error;
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
    pump();
    return true;
}

void EmulatorHost::closeLine()
{
    m_dueTimer.stop();
    m_hangingUp = false;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
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
    m_engine.reconnect();
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

void EmulatorHost::onReadable()
{
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
        m_engine.receive(incoming, nowUs());
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
    if (m_master < 0)
        return;
    // The line takes a piece only when the one before it has gone, so every
    // piece is its own write.
    if (m_unwritten.isEmpty()) {
        m_unwritten = m_engine.takeDueOutput(nowUs());
        flushWrites();
    }
    if (m_engine.lineClosed()) {
        // What was taken goes out before the line is cut.
        if (m_unwritten.isEmpty() && !m_hangingUp) {
            m_hangingUp = true;
            hangUpWhenTaken(m_lineNumber, QDeadlineTimer(HangUpDrainMs));
        }
        return;
    }
    if (!m_unwritten.isEmpty())
        return; // the write notifier calls back
    const qint64 next = m_engine.nextDueUs();
    if (next == DeviceEngine::NothingDue)
        return;
    const qint64 waitUs = next - nowUs();
    m_dueTimer.start(waitUs <= 0 ? 0 : int(std::min<qint64>((waitUs + 999) / 1000, 1 << 30)));
}
