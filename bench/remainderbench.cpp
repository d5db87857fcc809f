#include "remainderbench.h"

#include "affinity.h"
#include "benchclock.h"
#include "benchline.h"
#include "benchutil.h"
#include "cliprocess.h"
#include "programdriver.h"
#include "results.h"

#include "link/linetrace.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QThread>

#include <algorithm>

#include <csignal>

using namespace Bench;

namespace {

constexpr int FileBytes = 32 * KiB;
constexpr int CutAfterBytes = 4 * KiB;
constexpr int PieceBytes = 2 * KiB;
constexpr int PauseMs = 250;
constexpr int SizeHeader = 4;

// What a trace shows of one opening of the port (the part after its
// partIndex-th "# port" comment, counted from 1): the content read for a
// download, the last byte dropped at the opening, and the first request.
struct TracePart
{
    qint64 downloadBytes = 0;
    qint64 lastDroppedUs = 0; // the opening itself when nothing was dropped
    qint64 firstRequestUs = -1;
};

TracePart readTrace(const QString &path, int partIndex)
{
    QFile file(path);
    TracePart part;
    if (!file.open(QIODevice::ReadOnly))
        return part;
    int portComments = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("# port"))
            ++portComments;
        // A record's time fills its first eight columns; its continuation
        // lines start blank.
        if (line.isEmpty() || line.startsWith('#') || line.startsWith("        ") || portComments != partIndex)
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4)
            continue;
        const qint64 timeUs = fields.at(0).toLongLong();
        if (fields.at(1) == "<" && fields.at(2) == "DOWNLOAD")
            part.downloadBytes += fields.at(3).toLongLong();
        if (fields.at(1) == "<" && fields.at(2) == "OPEN")
            part.lastDroppedUs = timeUs;
        if (fields.at(1) == ">" && part.firstRequestUs < 0)
            part.firstRequestUs = timeUs;
    }
    return part;
}

struct Figures
{
    Figure &wire;
    Figure &rest;
    Figure &request;
    Figure &quiet;
};

Figures addFigures(Results &results, const QString &who, const QString &from)
{
    const QString prefix = QStringLiteral("remainder_%1_").arg(who);
    return Figures{
            results.add(prefix + QStringLiteral("wire_ms"),
                        QStringLiteral("%1 after a cut 32 KiB download: the rest's wire time").arg(who), QStringLiteral("ms")),
            results.add(prefix + QStringLiteral("rest_ms"),
                        QStringLiteral("  its last byte, from %1 (pauses of 250 ms)").arg(from), QStringLiteral("ms")),
            results.add(prefix + QStringLiteral("first_request_ms"),
                        QStringLiteral("  the first request, from %1").arg(from), QStringLiteral("ms")),
            results.add(prefix + QStringLiteral("quiet_ms"),
                        QStringLiteral("  the line quiet before it"), QStringLiteral("ms")),
    };
}

EngineOptions pausedReceiver()
{
    EngineOptions options;
    options.baud = int(Baud);
    options.splitBytes = PieceBytes;
    options.gapMs = PauseMs;
    return options;
}

// Connect, download, Disconnect after CutAfterBytes, Connect at once; the
// window's own trace (SPIFFS_TRACE) says when the rest ended and the
// request left, on the clock that starts at the port's opening.
bool windowRun(Figures &figures, const QString &work, int run)
{
    BenchLine line(pausedReceiver());
    line.engineBeforeStart().store().store("big.bin", fileContent(FileBytes, 31));
    if (!line.start())
        return false;
    const QString tracePath = QDir(work).filePath(QStringLiteral("remainder-window-%1.trace").arg(run));
    qputenv(TraceVariable, QFile::encodeName(tracePath));
    ProgramDriver program(line.portName());
    qunsetenv(TraceVariable);
    const QString folder = QDir(work).filePath(QStringLiteral("remainder-window"));
    QDir().mkpath(folder);
    if (!program.connectAndWait() || !program.selectFile(QStringLiteral("big.bin"))
        || !program.startDownload(folder, CutAfterBytes, TimeoutMs))
        return false;
    program.pressConnect(); // Disconnect
    program.pressConnect();
    if (!program.waitUntilIdle(TimeoutMs))
        return false;
    const qint64 due = SizeHeader + FileBytes - readTrace(tracePath, 1).downloadBytes;
    const TracePart after = readTrace(tracePath, 2);
    if (after.firstRequestUs < 0)
        return false;
    figures.wire.samples << wireSeconds(due) * 1000;
    figures.rest.samples << double(after.lastDroppedUs) / 1000;
    figures.request.samples << double(after.firstRequestUs) / 1000;
    figures.quiet.samples << double(after.firstRequestUs - after.lastDroppedUs) / 1000;
    return true;
}

// df, started at once after a cut, timed from its start to its first
// request on the port; its trace says when the rest ended. wireMs is the
// rest's own time on the line.
bool nextDf(Figures &figures, const EmulatorProcess &device, const QString &nextTrace, double wireMs)
{
    CliRun df;
    df.program = QStringLiteral(CLI_PATH);
    df.port = device.portName();
    df.arguments = QStringList{QStringLiteral("--trace"), nextTrace, QStringLiteral("df")};
    df.portWritesWatched = 1;
    const CliTimings timings = runCli(df);
    const TracePart after = readTrace(nextTrace, 1);
    if (timings.exitCode != 0 || timings.writeNs.isEmpty() || after.firstRequestUs < 0 || timings.openedNs == 0)
        return false;
    const double openedMs = double(timings.openedNs - timings.startNs) / 1e6;
    figures.wire.samples << wireMs;
    figures.rest.samples << openedMs + double(after.lastDroppedUs) / 1000;
    figures.request.samples << double(timings.writeNs.constFirst() - timings.startNs) / 1e6;
    figures.quiet.samples << double(after.firstRequestUs - after.lastDroppedUs) / 1000;
    return true;
}

// spiffs-cli cat, Ctrl-C once CutAfterBytes are out; then df, timed from its
// start to its first request on the port, its trace for the rest's end.
bool cliRun(Figures &figures, const QString &work, const EmulatorProcess &device, int run)
{
    const QString cutTrace = QDir(work).filePath(QStringLiteral("remainder-cut-%1.trace").arg(run));
    const QString nextTrace = QDir(work).filePath(QStringLiteral("remainder-next-%1.trace").arg(run));
    QProcess cat;
    cat.start(QStringLiteral(CLI_PATH), {QStringLiteral("-p"), device.portName(), QStringLiteral("--trace"), cutTrace,
                                         QStringLiteral("cat"), QStringLiteral("big.bin")});
    qint64 out = 0;
    while (out < CutAfterBytes && cat.waitForReadyRead(TimeoutMs))
        out += cat.readAllStandardOutput().size();
    ::kill(pid_t(cat.processId()), SIGINT);
    if (!cat.waitForFinished(TimeoutMs))
        return false;

    const qint64 due = SizeHeader + FileBytes - readTrace(cutTrace, 1).downloadBytes;
    return nextDf(figures, device, nextTrace, wireSeconds(due) * 1000);
}

// cat cut before the receiver's size came (it takes OpenDelayMs to open the
// file; Ctrl-C UnsizedCutMs after cat's start), then df: the rest is the
// listed size, its header and what was left of the open, all still to come.
constexpr int OpenDelayMs = 1500;
constexpr int UnsizedCutMs = 600;

bool cliUnsizedRun(Figures &figures, const QString &work, const EmulatorProcess &device, int run)
{
    const QString cutTrace = QDir(work).filePath(QStringLiteral("unsized-cut-%1.trace").arg(run));
    const QString nextTrace = QDir(work).filePath(QStringLiteral("unsized-next-%1.trace").arg(run));
    QProcess cat;
    QElapsedTimer sinceStart;
    sinceStart.start();
    cat.start(QStringLiteral(CLI_PATH), {QStringLiteral("-p"), device.portName(), QStringLiteral("--trace"), cutTrace,
                                         QStringLiteral("cat"), QStringLiteral("big.bin")});
    if (!cat.waitForStarted(TimeoutMs))
        return false;
    QThread::msleep(ulong(std::max<qint64>(0, UnsizedCutMs - sinceStart.elapsed())));
    ::kill(pid_t(cat.processId()), SIGINT);
    if (!cat.waitForFinished(TimeoutMs) || readTrace(cutTrace, 1).downloadBytes != 0)
        return false;
    // The download's request went out a quiet spell after cat's port opened,
    // about 110 ms after its start.
    const double openLeftMs = std::max<double>(0, OpenDelayMs - (double(sinceStart.elapsed()) - 110));
    return nextDf(figures, device, nextTrace, openLeftMs + wireSeconds(SizeHeader + FileBytes) * 1000);
}

} // namespace

void benchRemainder(Results &results, int runs, const QString &workFolder)
{
    Figures window = addFigures(results, QStringLiteral("window"), QStringLiteral("Connect"));
    for (int run = 0; run < runs; ++run) {
        if (!windowRun(window, workFolder, run))
            say(QStringLiteral("remainder: the window's run %1 failed").arg(run));
    }

    const QString store = QDir(workFolder).filePath(QStringLiteral("remainder-store"));
    QDir().mkpath(store);
    writeFile(QDir(store).filePath(QStringLiteral("big.bin")), fileContent(FileBytes, 31));
    EmulatorProcess device;
    if (!device.start(QStringLiteral(EMULATOR_PATH), store,
                      {QStringLiteral("--baud"), QString::number(int(Baud)), QStringLiteral("--split"),
                       QString::number(PieceBytes), QStringLiteral("--gap-ms"), QString::number(PauseMs)},
                      Affinity::deviceCpu())) {
        say(QStringLiteral("remainder: %1").arg(device.errorString()));
        return;
    }
    Figures cli = addFigures(results, QStringLiteral("cli"), QStringLiteral("the process's start"));
    for (int run = 0; run < runs; ++run) {
        if (!cliRun(cli, workFolder, device, run))
            say(QStringLiteral("remainder: spiffs-cli's run %1 failed").arg(run));
    }
    device.stop();

    EmulatorProcess slow;
    if (!slow.start(QStringLiteral(EMULATOR_PATH), store,
                    {QStringLiteral("--baud"), QString::number(int(Baud)), QStringLiteral("--open-delay-ms"),
                     QString::number(OpenDelayMs)},
                    Affinity::deviceCpu())) {
        say(QStringLiteral("remainder: %1").arg(slow.errorString()));
        return;
    }
    Figure &wire = results.add(QStringLiteral("remainder_cli_unsized_wire_ms"),
                               QStringLiteral("cli after a 32 KiB download cut before its size: the rest's time (the "
                                              "open left, then size and file on the wire)"),
                               QStringLiteral("ms"));
    Figure &rest = results.add(QStringLiteral("remainder_cli_unsized_rest_ms"),
                               QStringLiteral("  its last byte, from the process's start"), QStringLiteral("ms"));
    Figure &request = results.add(QStringLiteral("remainder_cli_unsized_first_request_ms"),
                                  QStringLiteral("  the first request, from the process's start"), QStringLiteral("ms"));
    Figure &quiet = results.add(QStringLiteral("remainder_cli_unsized_quiet_ms"), QStringLiteral("  the line quiet before it"),
                                QStringLiteral("ms"));
    Figures unsized{wire, rest, request, quiet};
    for (int run = 0; run < runs; ++run) {
        if (!cliUnsizedRun(unsized, workFolder, slow, run))
            say(QStringLiteral("remainder: spiffs-cli's cut-before-its-size run %1 failed").arg(run));
    }
}
