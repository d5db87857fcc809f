#include "windowbench.h"

#include "affinity.h"
#include "barepty.h"
#include "benchclock.h"
#include "benchline.h"
#include "benchutil.h"
#include "programdriver.h"
#include "results.h"

#include "link/linkstate.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>

#include <cmath>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace Bench;

namespace {

// Starts the line and connects a program to it; empty, after saying why,
// when either fails.
std::unique_ptr<ProgramDriver> connectProgram(BenchLine &line, const QString &group)
{
    if (!line.start()) {
        say(QStringLiteral("%1: cannot open a pseudo-terminal").arg(group));
        return nullptr;
    }
    auto program = std::make_unique<ProgramDriver>(line.portName());
    if (!program->connectAndWait()) {
        say(QStringLiteral("%1: the program did not connect").arg(group));
        return nullptr;
    }
    return program;
}

QString sizeName(int bytes)
{
    return bytes >= MiB ? QStringLiteral("%1m").arg(bytes / MiB) : QStringLiteral("%1k").arg(bytes / KiB);
}

QString sizeLabel(int bytes)
{
    return bytes >= MiB ? QStringLiteral("%1 MiB").arg(bytes / MiB) : QStringLiteral("%1 KiB").arg(bytes / KiB);
}

// A ceiling is the best the bare pseudo-terminal does: the least of three
// tries (a failed one counts as none).
double bestOf3(const std::function<double()> &seconds)
{
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        const double value = seconds();
        if (value > 0 && (best < 0 || value < best))
            best = value;
    }
    return best;
}

qint64 statusKiB(const char *key)
{
    return firstMatch(QStringLiteral("/proc/self/status"), QLatin1String(key)).section(QLatin1Char(' '), 0, 0).toLongLong();
}

} // namespace

// ---- at 115200 baud ------------------------------------------------------------

void benchPaced(Results &results, int runs, QTemporaryDir &work, bool downloads, bool uploads)
{
    say(QStringLiteral("paced: download and upload at 115200 baud"));
    EngineOptions options;
    options.baud = int(Baud);
    options.capacity = TransferCapacity;
    BenchLine line(options);
    const QVector<int> downloadSizes{64 * KiB, 256 * KiB};
    for (int size : downloadSizes)
        line.engineBeforeStart().store().store("p" + sizeName(size).toLatin1() + ".bin", fileContent(size, 1));
    const std::unique_ptr<ProgramDriver> program = connectProgram(line, QStringLiteral("paced"));
    if (!program)
        return;
    const QString folder = work.filePath(QStringLiteral("paced-downloads"));
    QDir().mkpath(folder);

    for (int size : downloads ? downloadSizes : QVector<int>()) {
        const QString name = QStringLiteral("p%1.bin").arg(sizeName(size));
        Figure &figure = results.add(QStringLiteral("download_paced_%1_efficiency").arg(sizeName(size)),
                                     QStringLiteral("download %1 at 115200, of wire time").arg(sizeLabel(size)),
                                     QStringLiteral("%"));
        // Request: header, 4-byte path length, "/" and the name; reply: size and content.
        const qint64 wireBytes = FrameHeader + 4 + 1 + name.size() + 4 + size;
        for (int run = 0; run < runs; ++run) {
            program->selectFile(name);
            line.resetMarks();
            const ProgramDriver::Timing timing = program->download(folder, TimeoutMs);
            const BenchLine::Marks marks = line.marks();
            QFile::remove(QDir(folder).filePath(name));
            if (!timing.ok) {
                say(QStringLiteral("  %1: did not finish (%2)").arg(name, program->statusText()));
                continue;
            }
            const double seconds = double(timing.endNs - timing.startNs) / 1e9;
            figure.samples.append(100 * wireSeconds(wireBytes) / seconds);
            say(QStringLiteral("  download %1: %2 s for %3 s on the wire; request on the line %4 ms after the "
                               "dialog's answer; %5 arrivals; last handler call (the save) %6 ms")
                        .arg(name, QString::number(seconds, 'f', 4), QString::number(wireSeconds(wireBytes), 'f', 4))
                        .arg(double(marks.firstReadNs - timing.startNs) / 1e6, 0, 'f', 2)
                        .arg(timing.arrivals)
                        .arg(double(timing.lastHandlerNs) / 1e6, 0, 'f', 2));
        }
    }

    if (!uploads)
        return;
    const int uploadSize = 64 * KiB;
    const QString uploadName = QStringLiteral("u64k.bin");
    const QString uploadPath = work.filePath(uploadName);
    writeFile(uploadPath, fileContent(uploadSize, 2));
    Figure &upload = results.add(QStringLiteral("upload_paced_64k_efficiency"),
                                 QStringLiteral("upload 64 KiB at 115200, of stop-and-wait bound"),
                                 QStringLiteral("%"));
    Figure &ofCeiling = results.add(QStringLiteral("upload_paced_64k_of_ceiling"),
                                    QStringLiteral("upload 64 KiB at 115200, of same-run ceiling"),
                                    QStringLiteral("%"));
    const double bound = wireSeconds(uploadBoundBytes(uploadSize, uploadName.size()));
    const qint64 answers = uploadAnswers(uploadSize);
    Figure &answer = results.add(QStringLiteral("upload_paced_answer_us"),
                                 QStringLiteral("  program's answer per chunk at 115200"), QStringLiteral("us"));
    Figure &bareAnswer = results.add(QStringLiteral("bare_pty_idle_answer_us"),
                                     QStringLiteral("  bare pty answer, line idle 4.4 ms"), QStringLiteral("us"));
    const qint64 chunkWireUs = qint64(wireSeconds(ChunkFrame) * 1e6);
    for (int run = 0; run < runs; ++run) {
        const double bare = BarePty::idleAnswerMicros(500, ChunkFrame, 1, chunkWireUs);
        bareAnswer.samples.append(bare);
        line.resetMarks();
        const ProgramDriver::Timing timing = program->upload(uploadPath, TimeoutMs);
        const BenchLine::Marks marks = line.marks();
        if (!timing.ok || !program->waitUntilIdle()) {
            say(QStringLiteral("  upload: did not finish (%1)").arg(program->statusText()));
            continue;
        }
        const double seconds = double(timing.endNs - timing.startNs) / 1e9;
        upload.samples.append(100 * bound / seconds);
        // Against the ceiling from the start frame's first byte on the line,
        // as for the command line: the file dialog's closing is not the
        // line's.
        const double onLine = double(timing.endNs - marks.firstReadNs) / 1e9;
        const double ceiling = bound + double(answers) * bare / 1e6;
        ofCeiling.samples.append(100 * ceiling / onLine);
        if (marks.turnaroundCount)
            answer.samples.append(double(marks.turnaroundNs) / double(marks.turnaroundCount) / 1000);
        say(QStringLiteral("  upload %1: %2 s for a bound of %3 s; %4 s from the start frame on the line, ceiling "
                           "%5 s (%6 %); per chunk: line late by %7 us, program answers in %8 us (handler %9 us), "
                           "bare pty %10 us")
                    .arg(uploadName, QString::number(seconds, 'f', 4), QString::number(bound, 'f', 4),
                         QString::number(onLine, 'f', 4), QString::number(ceiling, 'f', 4),
                         QString::number(100 * ceiling / onLine, 'f', 2))
                    .arg(marks.latenessCount ? marks.latenessNs / marks.latenessCount / 1000 : 0)
                    .arg(marks.turnaroundCount ? marks.turnaroundNs / marks.turnaroundCount / 1000 : 0)
                    .arg(timing.arrivals ? timing.handlerNs / timing.arrivals / 1000 : 0)
                    .arg(bare, 0, 'f', 1));
    }
}

// ---- no pacing: the line as fast as the pseudo-terminal goes --------------------

void benchUnpaced(Results &results, int runs, QTemporaryDir &work, bool downloads, bool uploads)
{
    const Affinity::ProgramSide programSide;
    say(QStringLiteral("unpaced: download and upload against a bare pseudo-terminal"));
    EngineOptions options;
    options.capacity = TransferCapacity;
    BenchLine line(options);
    const QVector<int> downloadSizes{64 * KiB, MiB, 4 * MiB};
    for (int size : downloadSizes)
        line.engineBeforeStart().store().store("f" + sizeName(size).toLatin1() + ".bin", fileContent(size, 3));
    const std::unique_ptr<ProgramDriver> program = connectProgram(line, QStringLiteral("unpaced"));
    if (!program)
        return;
    const QString folder = work.filePath(QStringLiteral("downloads"));
    QDir().mkpath(folder);

    for (int size : downloads ? downloadSizes : QVector<int>()) {
        const QString name = QStringLiteral("f%1.bin").arg(sizeName(size));
        const QString label = sizeLabel(size);
        Figure &speed = results.add(QStringLiteral("download_%1_speed").arg(sizeName(size)),
                                    QStringLiteral("download %1, unpaced").arg(label), QStringLiteral("MB/s"));
        Figure &bare = results.add(QStringLiteral("bare_pty_%1_speed").arg(sizeName(size)),
                                   QStringLiteral("bare pty, %1").arg(label), QStringLiteral("MB/s"));
        Figure &ratio = results.add(QStringLiteral("download_%1_of_bare_pty").arg(sizeName(size)),
                                    QStringLiteral("download %1 / fastest bare pty").arg(label), QStringLiteral("%"));
        Figure *save = size == 64 * KiB ? &results.add(QStringLiteral("download_64k_save_ms"),
                                                       QStringLiteral("  of which saving the file"),
                                                       QStringLiteral("ms"))
                                        : nullptr;
        Figure *cpu = size == 4 * MiB ? &results.add(QStringLiteral("download_cpu_per_mib"),
                                                     QStringLiteral("program CPU per downloaded MiB (4 MiB file)"),
                                                     QStringLiteral("ms"))
                                      : nullptr;
        // One run first that counts for nothing: caches, first allocations.
        for (int run = -1; run < runs; ++run) {
            const double bareSeconds = bestOf3([size] { return BarePty::transferSeconds(size); });
            program->selectFile(name);
            line.resetMarks();
            const ProgramDriver::Timing timing = program->download(folder, TimeoutMs);
            QFile::remove(QDir(folder).filePath(name));
            if (!timing.ok || bareSeconds <= 0) {
                say(QStringLiteral("  %1: did not finish (%2)").arg(name, program->statusText()));
                continue;
            }
            if (run < 0)
                continue;
            // From the device's first write of the reply to the file saved,
            // as the bare reader's time runs from the first write to the last read.
            const double seconds = double(timing.endNs - line.marks().firstWriteNs) / 1e9;
            speed.samples.append(size / seconds / 1e6);
            bare.samples.append(size / bareSeconds / 1e6);
            if (save)
                save->samples.append(double(timing.lastHandlerNs) / 1e6);
            if (cpu)
                cpu->samples.append(double(timing.cpuAtEndNs - timing.cpuAtFirstArrivalNs) / 1e6 / (size / MiB));
            say(QStringLiteral("  download %1: %2 MB/s (%3 arrivals, last one with the save %4 ms), bare %5 MB/s")
                        .arg(name, QString::number(size / seconds / 1e6, 'f', 1))
                        .arg(timing.arrivals)
                        .arg(QString::number(double(timing.lastHandlerNs) / 1e6, 'f', 3),
                             QString::number(size / bareSeconds / 1e6, 'f', 1)));
        }
        // The ceiling is the fastest the bare pseudo-terminal went in any
        // run: its speed comes in two modes, and a median would pick either.
        if (!speed.samples.isEmpty() && !bare.samples.isEmpty())
            ratio.samples.append(100 * speed.median() / bare.maximum());
    }

    if (!uploads)
        return;
    const int uploadSize = 256 * KiB;
    const int chunks = uploadSize / 32;
    const QString uploadPath = work.filePath(QStringLiteral("u256k.bin"));
    writeFile(uploadPath, fileContent(uploadSize, 4));
    Figure &rate = results.add(QStringLiteral("upload_chunk_rate"), QStringLiteral("upload 256 KiB, unpaced"),
                               QStringLiteral("chunks/s"));
    Figure &pingPong = results.add(QStringLiteral("bare_pty_ping_pong_rate"),
                                   QStringLiteral("bare pty ping-pong, 50 B / 1 B"), QStringLiteral("rounds/s"));
    Figure &ratio = results.add(QStringLiteral("upload_of_bare_ping_pong"),
                                QStringLiteral("upload / fastest bare ping-pong"), QStringLiteral("%"));
    Figure &cpu = results.add(QStringLiteral("upload_cpu_per_chunk"), QStringLiteral("program CPU per uploaded chunk"),
                              QStringLiteral("us"));
    for (int run = -1; run < runs; ++run) {
        const double bareSeconds = bestOf3([&] { return BarePty::pingPongSeconds(chunks, 50, 1); });
        line.resetMarks();
        const ProgramDriver::Timing timing = program->upload(uploadPath, TimeoutMs);
        const BenchLine::Marks marks = line.marks();
        if (!timing.ok || !program->waitUntilIdle() || bareSeconds <= 0) {
            say(QStringLiteral("  upload: did not finish (%1)").arg(program->statusText()));
            continue;
        }
        if (run < 0)
            continue;
        // From the first acknowledgement to the final answer: every chunk's
        // round trip and the end frame's.
        const double seconds = double(timing.endNs - timing.firstArrivalNs) / 1e9;
        rate.samples.append(chunks / seconds);
        pingPong.samples.append(chunks / bareSeconds);
        cpu.samples.append(double(timing.cpuAtEndNs - timing.cpuAtFirstArrivalNs) / 1e3 / chunks);
        say(QStringLiteral("  upload: %1 chunks/s, bare ping-pong %2 rounds/s; per chunk: program answers in %3 us "
                           "(handler %4 us)")
                    .arg(QString::number(chunks / seconds, 'f', 0), QString::number(chunks / bareSeconds, 'f', 0))
                    .arg(marks.turnaroundCount ? marks.turnaroundNs / marks.turnaroundCount / 1000 : 0)
                    .arg(timing.arrivals ? timing.handlerNs / timing.arrivals / 1000 : 0));
    }
    if (!rate.samples.isEmpty() && !pingPong.samples.isEmpty())
        ratio.samples.append(100 * rate.median() / pingPong.maximum());
}

// ---- listing --------------------------------------------------------------------

void benchListing(Results &results, int runs)
{
    say(QStringLiteral("listing: parse and show"));
    static const char *const types[] = {"txt", "wav", "jpg", "ini", "html", "wifi", "bin", "mp3"};
    for (int count : {100, 1000, 10000}) {
        EngineOptions options;
        options.capacity = 0xFFFFFFFFu;
        BenchLine line(options);
        DeviceStore &store = line.engineBeforeStart().store();
        for (int i = 0; i < count; ++i) {
            const QByteArray name = "file" + QByteArray::number(i).rightJustified(5, '0') + '.' + types[i % 8];
            store.store(name, QByteArray(i % 300, 'x'));
        }
        const std::unique_ptr<ProgramDriver> program = connectProgram(line, QStringLiteral("listing"));
        if (!program)
            return;
        Figure &total = results.add(QStringLiteral("listing_%1_ms").arg(count),
                                    QStringLiteral("listing of %1 entries, parse and show").arg(count),
                                    QStringLiteral("ms"));
        Figure &parse = results.add(QStringLiteral("listing_%1_handler_ms").arg(count),
                                    QStringLiteral("  of which in the reply handler"), QStringLiteral("ms"));
        Figure &connect = results.add(QStringLiteral("listing_%1_connect_ms").arg(count),
                                      QStringLiteral("  Connect click to table painted"), QStringLiteral("ms"));
        for (int run = -1; run < runs; ++run) {
            const ProgramDriver::Timing timing = program->relist(TimeoutMs);
            if (!timing.ok || program->rowCount() != count) {
                say(QStringLiteral("  %1 entries: did not finish (%2 rows)").arg(count).arg(program->rowCount()));
                continue;
            }
            if (run < 0)
                continue;
            // Every call of the reply handler while the listing came in, then
            // from the last one to the table painted.
            const double ms = double(timing.handlerNs + (timing.paintedNs - timing.endNs)) / 1e6;
            const double connectMs = double(timing.paintedNs - timing.startNs) / 1e6;
            total.samples.append(ms);
            parse.samples.append(double(timing.handlerNs) / 1e6);
            connect.samples.append(connectMs);
            say(QStringLiteral("  %1 entries: %2 ms (handler %3 ms in %4 arrivals, paint %5 ms); %6 ms from Connect")
                        .arg(count)
                        .arg(QString::number(ms, 'f', 2), QString::number(double(timing.handlerNs) / 1e6, 'f', 2))
                        .arg(timing.arrivals)
                        .arg(QString::number(double(timing.paintedNs - timing.endNs) / 1e6, 'f', 2),
                             QString::number(connectMs, 'f', 2)));
        }
    }
    const double ratio = results.median(QStringLiteral("listing_10000_ms")) / results.median(QStringLiteral("listing_1000_ms"));
    results.add(QStringLiteral("listing_10000_over_1000"), QStringLiteral("listing 10,000 / 1,000"), QStringLiteral("x"))
            .samples.append(ratio);
}

// ---- start-up -------------------------------------------------------------------

void benchStartup(Results &results, int runs, const QString &launcher)
{
    say(QStringLiteral("startup: process start to window shown"));
    Figure &figure = results.add(QStringLiteral("startup_ms"), QStringLiteral("start-up, process start to window painted"),
                                 QStringLiteral("ms"));
    Figure &application = results.add(QStringLiteral("startup_application_ms"),
                                      QStringLiteral("  of which to application made"), QStringLiteral("ms"));
    Figure &construct = results.add(QStringLiteral("startup_window_built_ms"),
                                    QStringLiteral("  of which to window constructed"), QStringLiteral("ms"));
    Figure &scan = results.add(QStringLiteral("startup_port_scan_ms"),
                               QStringLiteral("  port scan alone (one more, afterwards)"), QStringLiteral("ms"));
    for (int run = -1; run < runs; ++run) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("SPIFFS_MANAGER_PORTS"));
        process.setProcessEnvironment(environment);
        const qint64 startNs = steadyNs();
        process.start(launcher, QStringList());
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            say(QStringLiteral("  launcher failed: %1").arg(QString::fromLocal8Bit(process.readAllStandardError())));
            continue;
        }
        const QStringList marks = QString::fromLatin1(process.readAllStandardOutput()).split(QLatin1Char(' '));
        if (marks.size() < 5)
            continue;
        if (run < 0)
            continue;
        const double applicationMs = double(marks.at(0).toLongLong() - startNs) / 1e6;
        const double builtMs = double(marks.at(1).toLongLong() - startNs) / 1e6;
        const double paintedMs = double(marks.at(3).toLongLong() - startNs) / 1e6;
        const double scanMs = double(marks.at(4).trimmed().toLongLong()) / 1e6;
        figure.samples.append(paintedMs);
        application.samples.append(applicationMs);
        construct.samples.append(builtMs);
        scan.samples.append(scanMs);
        say(QStringLiteral("  %1 ms (application at %2 ms, window constructed at %3 ms; a port scan takes %4 ms)")
                    .arg(QString::number(paintedMs, 'f', 1), QString::number(applicationMs, 'f', 1),
                         QString::number(builtMs, 'f', 1), QString::number(scanMs, 'f', 1)));
    }
}

// ---- peak memory of a download ------------------------------------------------


// In a fresh process: connect, note VmHWM, download, note VmHWM again.
int memoryChild(const QString &port, const QString &name, const QString &folder)
{
    ProgramDriver program(port);
    if (!program.connectAndWait() || !program.selectFile(name))
        return 1;
    QCoreApplication::processEvents();
    const qint64 hwmBefore = statusKiB("VmHWM");
    const qint64 rssBefore = statusKiB("VmRSS");
    const ProgramDriver::Timing timing = program.download(folder, TimeoutMs);
    if (!timing.ok)
        return 1;
    const qint64 hwmAfter = statusKiB("VmHWM");
    const qint64 rssAfter = statusKiB("VmRSS");
    std::printf("%lld %lld %lld %lld\n", hwmBefore, rssBefore, hwmAfter, rssAfter);
    return 0;
}

void benchMemory(Results &results, int runs, QTemporaryDir &work, const QString &emulator)
{
    say(QStringLiteral("memory: peak resident memory of a 4 MiB download, each in a fresh process"));
    const QString store = work.filePath(QStringLiteral("memory-store"));
    const QString folder = work.filePath(QStringLiteral("memory-downloads"));
    QDir().mkpath(store);
    QDir().mkpath(folder);
    writeFile(QDir(store).filePath(QStringLiteral("m4m.bin")), fileContent(4 * MiB, 5));
    writeFile(QDir(store).filePath(QStringLiteral("m1.bin")), QByteArray("x"));

    QProcess device;
    device.start(emulator, {QStringLiteral("--dir"), store, QStringLiteral("--capacity"),
                            QString::number(TransferCapacity)});
    if (!device.waitForReadyRead(10000)) {
        say(QStringLiteral("memory: spiffs-emulator did not start"));
        return;
    }
    const QString port = QString::fromLocal8Bit(device.readLine()).trimmed();

    const auto measure = [&](const QString &name) -> double {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory-child"), port, name, folder});
        if (!child.waitForFinished(TimeoutMs) || child.exitCode() != 0)
            return std::nan("");
        QFile::remove(QDir(folder).filePath(name));
        const QStringList kib = QString::fromLatin1(child.readAllStandardOutput()).simplified().split(QLatin1Char(' '));
        if (kib.size() < 4)
            return std::nan("");
        say(QStringLiteral("  %1: VmHWM %2 KiB before (VmRSS %3), VmHWM %4 KiB after")
                    .arg(name, kib.at(0), kib.at(1), kib.at(2)));
        return double(kib.at(2).toLongLong() - kib.at(0).toLongLong()) / 1024;
    };

    Figure &figure = results.add(QStringLiteral("download_4m_peak_memory"),
                                 QStringLiteral("peak memory above baseline, 4 MiB download"), QStringLiteral("MiB"));
    Figure &control = results.add(QStringLiteral("download_1b_peak_memory"),
                                  QStringLiteral("peak memory above baseline, 1-byte download"), QStringLiteral("MiB"));
    for (int run = 0; run < runs; ++run) {
        const double big = measure(QStringLiteral("m4m.bin"));
        const double small = measure(QStringLiteral("m1.bin"));
        if (!std::isnan(big))
            figure.samples.append(big);
        if (!std::isnan(small))
            control.samples.append(small);
    }
    device.terminate();
    device.waitForFinished(5000);
}
