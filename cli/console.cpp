#include "console.h"

#include <csignal>
#include <string>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace Console {

namespace {

volatile std::sig_atomic_t interruptRaised = 0;

extern "C" void onInterrupt(int)
{
    interruptRaised = 1;
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

bool writeData(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    // Content goes out byte for byte, no line ends added.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return written == size_t(bytes.size()) && std::fflush(stdout) == 0;
}

QString readLine()
{
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line += char(c);
    return QString::fromLocal8Bit(line.c_str()).trimmed();
}

void catchInterrupt()
{
    std::signal(SIGINT, onInterrupt);
}

bool interrupted()
{
    return interruptRaised != 0;
}

} // namespace Console
