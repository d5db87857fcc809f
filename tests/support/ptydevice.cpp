#include "ptydevice.h"

#include "rawpty.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QThread>

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

PtyDevice::PtyDevice()
{
    const RawPty pty = openRawPty();
    m_master = pty.master;
    m_slave = pty.slave;
    m_portName = pty.slavePath;
}

PtyDevice::~PtyDevice()
{
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

QByteArray PtyDevice::readAvailable()
{
    QByteArray result;
    if (m_master < 0)
        return result;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        result.append(chunk, int(n));
    }
    return result;
}

QByteArray PtyDevice::readExactly(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_pending.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QByteArray more = readAvailable();
        if (more.isEmpty())
            QThread::usleep(200);
        m_pending += more;
    }
    const QByteArray result = m_pending.left(count);
    m_pending.remove(0, result.size());
    return result;
}

bool PtyDevice::staysQuiet(int quietMs)
{
    QDeadlineTimer deadline(quietMs);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        m_pending += readAvailable();
        if (!m_pending.isEmpty())
            return false;
        QThread::usleep(500);
    }
    return true;
}

void PtyDevice::send(const QByteArray &bytes)
{
    int written = 0;
    while (m_master >= 0 && written < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += int(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        } else {
            // The line is full: let the program read before writing more.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            m_pending += readAvailable();
        }
    }
}

bool PtyDevice::waitUntilTaken(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int queued = 0;
        if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &queued) != 0)
            return false;
        if (queued == 0)
            break;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(100);
    }
    // The port read the bytes; let its readyRead reach the program.
    QCoreApplication::processEvents();
    return true;
}

void PtyDevice::deliver(const QByteArray &bytes)
{
    send(bytes);
    waitUntilTaken();
}

void PtyDevice::hangUp()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}
