#include "cli/output/console.h"

#include <cerrno>
#include <csignal>
#include <string>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace Console {

namespace {

volatile std::sig_atomic_t interruptRaised = 0;
volatile std::sig_atomic_t terminateRaised = 0;

extern "C" void onInterrupt(int signal)
{
    interruptRaised = 1;
#ifndef Q_OS_WIN
    if (signal == SIGTERM || signal == SIGHUP)
        terminateRaised = 1;
#else
    if (signal == SIGTERM)
        terminateRaised = 1;
#endif
}

} // namespace

bool isTerminal(std::FILE *stream)
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stream)) != 0;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}

void printError(const QString &message)
{
    printStatus(QStringLiteral("spiffs-cli: ") + message + QLatin1Char('\n'));
}

void printStatus(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void printLine(const QString &text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}

WriteResult writeData(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    // Content goes out byte for byte, no line ends added.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    errno = 0;
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    if (written == size_t(bytes.size()) && std::fflush(stdout) == 0)
        return WriteResult::Written;
    return errno == EPIPE ? WriteResult::Closed : WriteResult::Failed;
}

namespace {

// The next byte typed; -1 at the input's end or once a signal has been
// caught. The wait wakes now and then: a signal that comes between a check
// of the flag and the read would otherwise leave the read waiting for ever.
int nextTypedByte()
{
#ifdef Q_OS_WIN
    const int c = std::fgetc(stdin);
    return c == EOF ? -1 : c;
#else
    constexpr int WakeMs = 100;
    for (;;) {
        if (interrupted())
            return -1;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&input, 1, WakeMs);
        if (ready < 0 && errno != EINTR)
            return -1;
        if (ready <= 0)
            continue;
        unsigned char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        return got == 1 ? int(c) : -1;
    }
#endif
}

} // namespace

QString readLine()
{
    std::string line;
    for (int c = nextTypedByte(); c >= 0 && c != '\n'; c = nextTypedByte())
        line += char(c);
    return QString::fromLocal8Bit(line.c_str()).trimmed();
}

void ignoreBrokenPipe()
{
#ifndef Q_OS_WIN
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit (ulimit -f) then fails the write, which is reported
    // with the file kept as it was, instead of killing the command.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void catchInterrupt()
{
#ifdef Q_OS_WIN
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
#else
    // Without SA_RESTART, so that a wait for a typed answer ends too.
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
}

bool interrupted()
{
    return interruptRaised != 0;
}

void forgetInterrupt()
{
    if (!terminateRaised)
        interruptRaised = 0;
}

bool terminated()
{
    return terminateRaised != 0;
}

} // namespace Console
