// The window's program as a process: its own options answered in a terminal
// with no display, and the signals that end a program (SIGTERM at a logout,
// SIGHUP, Ctrl-C) ending it with its port closed and the port's lock file
// gone.
#include "clirun.h"
#include "emulatorprogram.h"

#include "core/portlock.h"

#include <QtCore/QProcess>
#include <QtTest/QTest>

#include <csignal>

using namespace CliTesting;

namespace {

// No display at all: --version and --help must not need one.
QProcessEnvironment noDisplay()
{
    QProcessEnvironment environment = cleanEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    return environment;
}

} // namespace

class WindowProgramTest : public QObject
{
    Q_OBJECT

private slots:
    void ownOptionsPrintAndExit_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("begins");
        QTest::newRow("--version") << QStringList{"--version"} << "spiffs-manager " SPIFFS_VERSION "\n";
        QTest::newRow("--help") << QStringList{"--help"} << "Usage: spiffs-manager [QT-OPTIONS]\n";
        QTest::newRow("-h") << QStringList{"-h"} << "Usage: spiffs-manager [QT-OPTIONS]\n";
        QTest::newRow("after a Qt option") << QStringList{"-style", "fusion", "--version"}
                                           << "spiffs-manager " SPIFFS_VERSION "\n";
    }
    void ownOptionsPrintAndExit()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, begins);
        const CliRun run = runCli(arguments, noDisplay(), QStringLiteral(WINDOW_PATH));
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith(begins.toLocal8Bit()), run.out.constData());
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        if (arguments.contains(QLatin1String("--help"))) {
            for (const char *text : {"--version", "SPIFFS_MANAGER_PORTS", "SPIFFS_TRACE"})
                QVERIFY2(run.out.contains(text), run.out.constData());
        }
    }

    void endSignalsFreeThePort_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void endSignalsFreeThePort()
    {
        QFETCH(int, signal);
        StoreFolder store;
        EmulatorProgram emulator({"--dir", store.dir.path()});
        QProcess window;
        QProcessEnvironment environment = cleanEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("SPIFFS_MANAGER_PORTS"), emulator.port());
        window.setProcessEnvironment(environment);
        window.start(QStringLiteral(WINDOW_HOST_PATH), QStringList());
        QVERIFY(window.waitForStarted());
        // Connected: its lock names it.
        const auto holding = [&] {
            const std::optional<PortLock> lock = PortLocks::find(emulator.port());
            return lock && lock->pid == window.processId();
        };
        QTRY_VERIFY_WITH_TIMEOUT(holding(), 10000);
        const QString lock = PortLocks::lockPath(emulator.port());
        QTest::qWait(300); // into the memory report and the listing

        QCOMPARE(::kill(pid_t(window.processId()), signal), 0);
        QVERIFY(window.waitForFinished(10000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 0);
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
        const CliRun next = runCli({"-p", emulator.port(), "ls", "a.txt"});
        QVERIFY2(next.exitCode == 0, next.err.constData());
    }
};

QTEST_GUILESS_MAIN(WindowProgramTest)
#include "tst_windowprogram.moc"
