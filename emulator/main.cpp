// spiffs-emulator: a stand-in receiver on a pseudo-terminal. The first line
// of standard output is the path to open as the serial port.
#include "emulatorhost.h"
#include "emulatorarguments.h"
#include "replayengine.h"
#include "replaytrace.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTimer>

#include <csignal>
#include <memory>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

bool catchStopSignals()
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void printLine(std::FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const ParsedArguments arguments = parseEmulatorArguments(QCoreApplication::arguments());
    if (arguments.helpRequested) {
        printLine(stdout, arguments.helpText);
        return 0;
    }
    if (arguments.versionRequested) {
        printLine(stdout, QStringLiteral("spiffs-emulator ") + QStringLiteral(SPIFFS_VERSION));
        return 0;
    }
    if (!arguments.error.isEmpty()) {
        printLine(stderr, QStringLiteral("spiffs-emulator: ") + arguments.error);
        printLine(stderr, arguments.helpText);
        return 2;
    }
    // A reader of standard output that goes away must not end the emulator.
    std::signal(SIGPIPE, SIG_IGN);
    if (!catchStopSignals()) {
        printLine(stderr, QStringLiteral("spiffs-emulator: cannot catch SIGINT and SIGTERM"));
        return 1;
    }

    std::unique_ptr<EmulatorHost> served;
    if (arguments.options.replayTrace.isEmpty()) {
        served = std::make_unique<EmulatorHost>(arguments.options);
    } else {
        ReplayTrace trace;
        QString error;
        if (!ReplayTrace::load(arguments.options.replayTrace, &trace, &error)) {
            printLine(stderr, QStringLiteral("spiffs-emulator: ") + error);
            return 2;
        }
        served = std::make_unique<EmulatorHost>(std::make_unique<ReplayEngine>(trace, arguments.options.verbose));
    }
    EmulatorHost &host = *served;
    const auto log = [](const QString &line) { printLine(stderr, QStringLiteral("spiffs-emulator: ") + line); };
    QObject::connect(&host, &EmulatorHost::logLine, &host, log);
    QObject::connect(&host, &EmulatorHost::pluggedIn, &host, [](const QString &path) { printLine(stdout, path); });
    QObject::connect(&host, &EmulatorHost::lineHungUp, &host, [&host, log] {
        log(QStringLiteral("line closed; plugging in again"));
        QTimer::singleShot(100, &host, [&host, log] {
            if (!host.plugIn())
                log(host.errorString());
        });
    });

    if (!host.start()) {
        log(host.errorString());
        return 1;
    }
    for (const QString &warning : host.engine().store().warnings())
        log(warning);
    printLine(stdout, host.portName());

    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &application, &QCoreApplication::quit);
    const int result = application.exec();
    log(QStringLiteral("stopped"));
    return result;
}
