#include "rawpty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

RawPty openRawPty(MasterMode mode)
{
    RawPty pty;
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    char name[256] = {};
    if (openpty(&pty.master, &pty.slave, name, &raw, nullptr) != 0) {
        pty.error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        pty.master = pty.slave = -1;
        return pty;
    }
    if (mode == MasterMode::NonBlocking)
        fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    // A process the emulator or a test starts must not keep the line up.
    fcntl(pty.master, F_SETFD, FD_CLOEXEC);
    fcntl(pty.slave, F_SETFD, FD_CLOEXEC);
    pty.slavePath = QString::fromLocal8Bit(name);
    return pty;
}
