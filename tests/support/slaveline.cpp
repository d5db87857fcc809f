#include "slaveline.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

SlaveLine::SlaveLine(const QString &path)
{
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0) {
        termios raw{};
        ::tcgetattr(m_fd, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_fd, TCSANOW, &raw);
    }
}

SlaveLine::~SlaveLine()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SlaveLine::write(const QByteArray &bytes, int timeoutMs)
{
    int written = 0;
    QDeadlineTimer deadline(timeoutMs);
    while (written < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0)
            written += int(n);
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return written == bytes.size();
}

QByteArray SlaveLine::read(int count, int timeoutMs)
{
    QByteArray result;
    QDeadlineTimer deadline(timeoutMs);
    char buffer[65536];
    while (result.size() < count && !m_hungUp && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const ssize_t n = ::read(m_fd, buffer, size_t(std::min<qint64>(count - result.size(), sizeof buffer)));
        if (n > 0)
            result.append(buffer, int(n));
        else if (n == 0 || errno == EIO)
            m_hungUp = true;
        else
            usleep(100);
    }
    return result;
}
