#include "app/startup.h"

#include "app/mainwindow.h"

#include <QtCore/QSocketNotifier>
#include <QtWidgets/QApplication>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace WindowProgram {

namespace {

QString helpText()
{
    return QStringLiteral(
            "Usage: spiffs-manager [QT-OPTIONS]\n"
            "\n"
            "The window of the SPIFFS file manager for an ESP32 SI473X receiver on a USB serial\n"
            "port: pick the port, Connect, and download, upload, remove, format, execute, reboot.\n"
            "\n"
            "  --help       show this help and exit\n"
            "  --version    show the version and exit\n"
            "\n"
            "Every other argument goes to Qt (-platform NAME, -style NAME, ...).\n"
            "\n"
            "Environment:\n"
            "  SPIFFS_MANAGER_PORTS   ports the system does not list, such as a pseudo-terminal,\n"
            "                         separated as PATH is; the first is the one chosen\n"
            "  SPIFFS_TRACE=FILE      record every byte written to and read from the receiver\n"
            "\n"
            "spiffs-cli does the same from a shell. man spiffs-manager says more.\n");
}

#ifdef Q_OS_UNIX
constexpr int EndSignals[] = {SIGTERM, SIGHUP, SIGINT};
int signalPipe[2] = {-1, -1};

extern "C" void onEndSignal(int signal)
{
    // Once: a second signal finds the default action and ends the program.
    for (const int each : EndSignals)
        std::signal(each, SIG_DFL);
    const char byte = char(signal);
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written;
}
#endif

// A Windows GUI program has no console: it writes into the one it was
// started from, unless its output already goes to a pipe or a file.
void reachConsole()
{
#ifdef Q_OS_WIN
    if (_fileno(stdout) < 0 && AttachConsole(ATTACH_PARENT_PROCESS)) {
        (void)std::freopen("CONOUT$", "w", stdout);
        (void)std::freopen("CONOUT$", "w", stderr);
    }
#endif
}

} // namespace

std::optional<Answer> answerOptions(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--version"))
            return Answer{0, QStringLiteral("spiffs-manager ") + QStringLiteral(SPIFFS_VERSION) + QLatin1Char('\n')};
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return Answer{0, helpText()};
    }
    return std::nullopt;
}

void enableHighDpiScaling()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 always scales. Qt 5 would paint the window at 100 % on a 150 %
    // screen, or cut its fixed-size widgets' texts.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    // 150 % stays 150 %, rather than rounded to 200 %.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

void quitOnEndSignals()
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        char byte = 0;
        const ssize_t got = ::read(signalPipe[0], &byte, 1);
        (void)got;
        notifier->setEnabled(false);
        // Every event loop ends, a modal box's too, and main() returns.
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : EndSignals)
        ::sigaction(signal, &action, nullptr);
#endif
}

int run(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<Answer> answer = answerOptions(arguments)) {
        reachConsole();
        std::fputs(answer->text.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return answer->status;
    }
    enableHighDpiScaling();
    QApplication application(argc, argv);
    quitOnEndSignals();
    MainWindow window;
    window.show();
    // The port closes, and its lock goes, when the link state is destroyed
    // after main() returns, however the loop ended.
    return application.exec();
}

} // namespace WindowProgram
