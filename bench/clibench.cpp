#include "clibench.h"

#include "affinity.h"
#include "barepty.h"
#include "benchutil.h"
#include "cliprocess.h"
#include "results.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

using namespace Bench;

namespace {

constexpr int ReplySizeBytes = 4;
// The command line's opening quiet spell: it waits this long for silence
// after opening the port, before its first request.
constexpr double QuietSpellMs = 100;

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

QString said(const CliTimings &timings)
{
    if (!timings.error.isEmpty())
        return timings.error;
    return QStringLiteral("exit %1: %2").arg(timings.exitCode).arg(QString::fromLocal8Bit(timings.standardError).trimmed());
}

// ---- get -------------------------------------------------------------------------

// From the command line's write of the download request to the file renamed
// into place. The opening quiet spell, the memory report that the command
// line sends first (it needs the capacity before a download) and the
// listing (the name may be a pattern) come before and are left out: they
// are not part of the file's exchange, and the start-up figure covers them.
void benchGet(Results &results, int runs, const QString &work, const EmulatorProcess &device, const QString &name,
              const QByteArray &content)
{
    Figure &figure = results.add(QStringLiteral("cli_get_64k_efficiency"),
                                 QStringLiteral("spiffs-cli get 64 KiB at 115200, of wire time"), QStringLiteral("%"));
    Figure &tail = results.add(QStringLiteral("cli_get_64k_exit_ms"), QStringLiteral("  then to the process's exit"),
                               QStringLiteral("ms"));
    const QString folder = QDir(work).filePath(QStringLiteral("cli-get"));
    QDir().mkpath(folder);
    // Request: header, 4-byte path length, "/" and the name; reply: size and content.
    const qint64 wireBytes = FrameHeader + 4 + 1 + name.size() + ReplySizeBytes + content.size();
    const double wire = wireSeconds(wireBytes);

    // One run first that counts for nothing: the program's pages, caches.
    for (int run = -1; run < runs; ++run) {
        const QString saved = QDir(folder).filePath(name);
        QFile::remove(saved);
        CliRun cli;
        cli.program = QStringLiteral(CLI_PATH);
        cli.port = device.portName();
        cli.arguments = QStringList{QStringLiteral("-q"), QStringLiteral("get"), name, QStringLiteral("-o"), folder};
        cli.watchedFolder = folder;
        cli.portWritesWatched = 3; // the memory and listing requests, then the download request
        const CliTimings timings = runCli(cli);
        if (!timings.finished || timings.exitCode != 0 || timings.writeNs.size() < 3 || !timings.savedNs.contains(name)) {
            say(QStringLiteral("  get %1: did not finish (%2; %3 writes seen, saved: %4)").arg(name, said(timings)).arg(timings.writeNs.size()).arg(QStringList(timings.savedNs.keys()).join(QLatin1Char(','))));
            continue;
        }
        if (run < 0) {
            QFile file(saved);
            if (!file.open(QIODevice::ReadOnly) || file.readAll() != content) {
                say(QStringLiteral("  get %1: the saved file differs from the receiver's").arg(name));
                return;
            }
            continue;
        }
        const qint64 requestNs = timings.writeNs.at(2);
        const double seconds = double(timings.savedNs.value(name) - requestNs) / 1e9;
        figure.samples.append(100 * wire / seconds);
        tail.samples.append(ms(timings.exitNs - timings.savedNs.value(name)));
        say(QStringLiteral("  get %1: %2 s for %3 s on the wire (%4 %); before it: port opened %5 ms after the "
                           "start, memory request %6 ms after that, listing and download request %7 ms later; exit %8 ms "
                           "after the file was saved")
                    .arg(name, QString::number(seconds, 'f', 4), QString::number(wire, 'f', 4),
                         QString::number(100 * wire / seconds, 'f', 2))
                    .arg(ms(timings.openedNs - timings.startNs), 0, 'f', 1)
                    .arg(ms(timings.writeNs.at(0) - timings.openedNs), 0, 'f', 1)
                    .arg(ms(requestNs - timings.writeNs.at(0)), 0, 'f', 2)
                    .arg(ms(timings.exitNs - timings.savedNs.value(name)), 0, 'f', 2));
    }
}

// ---- put -------------------------------------------------------------------------

// From the command line's write of the upload's start frame to its exit,
// which follows the receiver's final "u" at once. The quiet spell, the
// memory report and the listing (the room is planned before an upload) come
// before.
// The ceiling adds to the wire's stop-and-wait bound what a bare
// pseudo-terminal needs per answer when both sides sleep between chunks,
// measured right before each run.
void benchPut(Results &results, int runs, const QString &work, const EmulatorProcess &device)
{
    const QString name = QStringLiteral("u64k.bin");
    const QString path = QDir(work).filePath(QStringLiteral("cli-put/") + name);
    QDir().mkpath(QDir(work).filePath(QStringLiteral("cli-put")));
    const QByteArray content = fileContent(64 * KiB, 6);
    writeFile(path, content);

    Figure &ofBound = results.add(QStringLiteral("cli_put_64k_efficiency"),
                                  QStringLiteral("spiffs-cli put 64 KiB at 115200, of stop-and-wait bound"),
                                  QStringLiteral("%"));
    Figure &ofCeiling = results.add(QStringLiteral("cli_put_64k_of_ceiling"),
                                    QStringLiteral("spiffs-cli put 64 KiB, of same-run ceiling"), QStringLiteral("%"));
    Figure &answer = results.add(QStringLiteral("cli_put_answer_us"),
                                 QStringLiteral("  spiffs-cli's answer per chunk (derived)"), QStringLiteral("us"));
    Figure &bareAnswer = results.add(QStringLiteral("cli_put_bare_pty_answer_us"),
                                     QStringLiteral("  bare pty answer, line idle 4.4 ms"), QStringLiteral("us"));
    const double bound = wireSeconds(uploadBoundBytes(content.size(), name.size()));
    const qint64 answers = uploadAnswers(content.size());
    const qint64 chunkWireUs = qint64(wireSeconds(ChunkFrame) * 1e6);
    const QString stored = QDir(device.storeFolder()).filePath(name);

    for (int run = -1; run < runs; ++run) {
        const double bare = BarePty::idleAnswerMicros(500, ChunkFrame, 1, chunkWireUs);
        QFile::remove(stored);
        CliRun cli;
        cli.program = QStringLiteral(CLI_PATH);
        cli.port = device.portName();
        cli.arguments = QStringList{QStringLiteral("-q"), QStringLiteral("put"), path};
        cli.portWritesWatched = 3; // the memory and listing requests, then the upload's start frame
        const CliTimings timings = runCli(cli);
        if (!timings.finished || timings.exitCode != 0 || timings.writeNs.size() < 3) {
            say(QStringLiteral("  put %1: did not finish (%2)").arg(name, said(timings)));
            continue;
        }
        if (run < 0) {
            QFile file(stored);
            if (!file.open(QIODevice::ReadOnly) || file.readAll() != content) {
                say(QStringLiteral("  put %1: the receiver's copy differs from the file").arg(name));
                return;
            }
            continue;
        }
        const double seconds = double(timings.exitNs - timings.writeNs.at(2)) / 1e9;
        const double ceiling = bound + double(answers) * bare / 1e6;
        const double perAnswerUs = (seconds - bound) * 1e6 / double(answers);
        ofBound.samples.append(100 * bound / seconds);
        ofCeiling.samples.append(100 * ceiling / seconds);
        answer.samples.append(perAnswerUs);
        if (bare > 0)
            bareAnswer.samples.append(bare);
        say(QStringLiteral("  put %1: %2 s for a bound of %3 s (%4 %) and a ceiling of %5 s (%6 %); "
                           "%7 us an answer, bare pty %8 us")
                    .arg(name, QString::number(seconds, 'f', 4), QString::number(bound, 'f', 4),
                         QString::number(100 * bound / seconds, 'f', 2), QString::number(ceiling, 'f', 4),
                         QString::number(100 * ceiling / seconds, 'f', 2))
                    .arg(perAnswerUs, 0, 'f', 1)
                    .arg(bare, 0, 'f', 1));
    }
}

// ---- start -----------------------------------------------------------------------

// From just before the process is spawned to its first write on the port
// (the memory request of "df", the first thing every command sends). In
// between: loading, Qt's start, opening the port, then the opening quiet
// spell of 100 ms.
void benchStartup(Results &results, int runs, const EmulatorProcess &device)
{
    Figure &total = results.add(QStringLiteral("cli_startup_ms"),
                                QStringLiteral("spiffs-cli start to first request byte"), QStringLiteral("ms"));
    Figure &withoutQuiet = results.add(QStringLiteral("cli_startup_without_quiet_ms"),
                                       QStringLiteral("  less the 100 ms quiet spell"), QStringLiteral("ms"));
    Figure &toOpen = results.add(QStringLiteral("cli_startup_to_open_ms"),
                                 QStringLiteral("  of which start to port opened"), QStringLiteral("ms"));
    Figure &openToRequest = results.add(QStringLiteral("cli_startup_open_to_request_ms"),
                                        QStringLiteral("  of which port opened to request (quiet spell)"),
                                        QStringLiteral("ms"));
    for (int run = -1; run < runs; ++run) {
        CliRun cli;
        cli.program = QStringLiteral(CLI_PATH);
        cli.port = device.portName();
        cli.arguments = QStringList{QStringLiteral("-q"), QStringLiteral("df")};
        cli.portWritesWatched = 1;
        const CliTimings timings = runCli(cli);
        if (!timings.finished || timings.exitCode != 0 || timings.writeNs.isEmpty() || timings.openedNs == 0) {
            say(QStringLiteral("  df: did not finish (%1)").arg(said(timings)));
            continue;
        }
        if (run < 0)
            continue;
        const double toRequest = ms(timings.writeNs.at(0) - timings.startNs);
        total.samples.append(toRequest);
        withoutQuiet.samples.append(toRequest - QuietSpellMs);
        toOpen.samples.append(ms(timings.openedNs - timings.startNs));
        openToRequest.samples.append(ms(timings.writeNs.at(0) - timings.openedNs));
        say(QStringLiteral("  df: first request %1 ms after the start (port opened at %2 ms, quiet spell and "
                           "request %3 ms); exit at %4 ms")
                    .arg(toRequest, 0, 'f', 2)
                    .arg(ms(timings.openedNs - timings.startNs), 0, 'f', 2)
                    .arg(ms(timings.writeNs.at(0) - timings.openedNs), 0, 'f', 2)
                    .arg(ms(timings.exitNs - timings.startNs), 0, 'f', 1));
    }
}

// df's time to its figures on a clean line, and what of it comes after the
// memory report's last byte was read: there the reply is believed only once
// the line has stayed quiet for DeviceSession::CleanLineMs, then the figures
// are printed and the process ends. SPIFFS_BENCH_CLI runs another build of
// spiffs-cli instead (one from before that check, say), to compare.
void benchFirstFigure(Results &results, int runs, const EmulatorProcess &device)
{
    Figure &toFigure = results.add(QStringLiteral("cli_df_figures_ms"), QStringLiteral("spiffs-cli df start to its figures"),
                                   QStringLiteral("ms"));
    Figure &afterReply = results.add(QStringLiteral("cli_df_reply_to_figures_ms"),
                                     QStringLiteral("  of which the report's last byte read to the end"), QStringLiteral("ms"));
    const QString program = qEnvironmentVariable("SPIFFS_BENCH_CLI", QStringLiteral(CLI_PATH));
    for (int run = -1; run < runs; ++run) {
        CliRun cli;
        cli.program = program;
        cli.port = device.portName();
        cli.arguments = QStringList{QStringLiteral("df")};
        cli.watchPortReads = true;
        const CliTimings timings = runCli(cli);
        if (!timings.finished || timings.exitCode != 0 || timings.lastReadNs == 0) {
            say(QStringLiteral("  df: did not finish (%1)").arg(said(timings)));
            continue;
        }
        if (run < 0)
            continue;
        toFigure.samples.append(ms(timings.exitNs - timings.startNs));
        afterReply.samples.append(ms(timings.exitNs - timings.lastReadNs));
    }
}

// A board that restarts whenever its port opens pays its boot on every run;
// a chain pays it once.
void benchChain(Results &results, int runs, const QString &work)
{
    const QString source = QDir(work).filePath(QStringLiteral("chain-store"));
    QDir().mkpath(source);
    for (const char *name : {"a.txt", "b.txt"})
        writeFile(QDir(source).filePath(QLatin1String(name)), fileContent(4 * KiB, 9));
    EmulatorProcess device;
    if (!device.start(QStringLiteral(EMULATOR_PATH), source,
                      {QStringLiteral("--baud"), QString::number(int(Baud)), QStringLiteral("--boot-on-open")},
                      Affinity::deviceCpu())) {
        say(QStringLiteral("cli-chain: %1").arg(device.errorString()));
        return;
    }
    const QString folder = QDir(work).filePath(QStringLiteral("chain-downloads"));
    QDir().mkpath(folder);
    const auto seconds = [&](const QStringList &arguments) -> double {
        CliRun run;
        run.program = QStringLiteral(CLI_PATH);
        run.port = device.portName();
        run.arguments = QStringList{QStringLiteral("-q")} + arguments;
        const CliTimings timings = runCli(run);
        return timings.finished && timings.exitCode == 0 ? double(timings.exitNs - timings.startNs) / 1e9 : -1;
    };
    Figure &separate = results.add(QStringLiteral("cli_separate_ls_get_get_s"),
                                   QStringLiteral("ls, get, get as three runs, board restarts on open"), QStringLiteral("s"));
    Figure &chained = results.add(QStringLiteral("cli_chained_ls_get_get_s"),
                                  QStringLiteral("ls + get + get chained, one opening"), QStringLiteral("s"));
    Figure &saved = results.add(QStringLiteral("cli_chain_saves_s"), QStringLiteral("  saved by the chain"), QStringLiteral("s"));
    const QStringList get = {QStringLiteral("-o"), folder};
    for (int run = 0; run < runs; ++run) {
        const double one = seconds({QStringLiteral("ls")});
        const double two = seconds(QStringList{QStringLiteral("get"), QStringLiteral("a.txt")} + get);
        const double three = seconds(QStringList{QStringLiteral("get"), QStringLiteral("b.txt")} + get);
        const double together = seconds(QStringList{QStringLiteral("ls"), QStringLiteral("+"), QStringLiteral("get"),
                                                    QStringLiteral("a.txt")}
                                        + get + QStringList{QStringLiteral("+"), QStringLiteral("get"), QStringLiteral("b.txt")} + get);
        if (one < 0 || two < 0 || three < 0 || together < 0) {
            say(QStringLiteral("  chain: a run failed"));
            continue;
        }
        separate.samples.append(one + two + three);
        chained.samples.append(together);
        saved.samples.append(one + two + three - together);
        say(QStringLiteral("  chain: separate %1 + %2 + %3 s, chained %4 s")
                    .arg(one, 0, 'f', 3)
                    .arg(two, 0, 'f', 3)
                    .arg(three, 0, 'f', 3)
                    .arg(together, 0, 'f', 3));
    }
}

// cat hands each arrival on as it comes; get keeps the whole file until it
// is in. Their peak resident memory above df's, which moves no file.
// spiffs-cli -q ARGUMENTS against device: its peak resident memory in KiB,
// -1 when the run failed (and said why).
qint64 peakResidentKiB(const EmulatorProcess &device, const QStringList &arguments)
{
    CliRun run;
    run.program = QStringLiteral(CLI_PATH);
    run.port = device.portName();
    run.arguments = QStringList{QStringLiteral("-q")} + arguments;
    run.sampleMemory = true;
    const CliTimings timings = runCli(run);
    if (!timings.finished || timings.exitCode != 0) {
        say(QStringLiteral("  %1: %2").arg(arguments.constFirst(), said(timings)));
        return -1;
    }
    return timings.peakKiB;
}

void benchCatMemory(Results &results, int runs, const QString &work)
{
    const QString source = QDir(work).filePath(QStringLiteral("cat-store"));
    QDir().mkpath(source);
    const int size = 256 * KiB;
    writeFile(QDir(source).filePath(QStringLiteral("c256k.bin")), fileContent(size, 11));
    EmulatorProcess device;
    // Paced, so the download lasts long enough to be sampled (2.6 s).
    if (!device.start(QStringLiteral(EMULATOR_PATH), source,
                      {QStringLiteral("--capacity"), QString::number(TransferCapacity), QStringLiteral("--baud"),
                       QStringLiteral("1000000")},
                      Affinity::deviceCpu())) {
        say(QStringLiteral("cli-cat: %1").arg(device.errorString()));
        return;
    }
    const QString folder = QDir(work).filePath(QStringLiteral("cat-downloads"));
    QDir().mkpath(folder);
    const auto peak = [&device](const QStringList &arguments) { return peakResidentKiB(device, arguments); };
    Figure &cat = results.add(QStringLiteral("cli_cat_256k_peak_kib"), QStringLiteral("cat 256 KiB, peak above df"),
                              QStringLiteral("KiB"));
    Figure &get = results.add(QStringLiteral("cli_get_256k_peak_kib"), QStringLiteral("get 256 KiB, peak above df"),
                              QStringLiteral("KiB"));
    for (int run = 0; run < runs; ++run) {
        const qint64 baseline = peak({QStringLiteral("df")});
        const qint64 catPeak = peak({QStringLiteral("cat"), QStringLiteral("c256k.bin")});
        const qint64 getPeak = peak({QStringLiteral("get"), QStringLiteral("c256k.bin"), QStringLiteral("-o"), folder});
        if (baseline < 0 || catPeak < 0 || getPeak < 0) {
            say(QStringLiteral("  cat: a run failed"));
            continue;
        }
        cat.samples.append(double(catPeak - baseline));
        get.samples.append(double(getPeak - baseline));
        say(QStringLiteral("  peak resident: df %1 KiB, cat %2 KiB, get %3 KiB").arg(baseline).arg(catPeak).arg(getPeak));
    }
}

// put --verify reads each file back to compare it; what it read must go
// once the file is checked, or memory grows with the number of files. Peak
// resident memory above df's for one file and for fifty, 32 KiB each.
void benchPutVerifyMemory(Results &results, int runs, const QString &work)
{
    constexpr int FileCount = 50;
    const QString folder = QDir(work).filePath(QStringLiteral("putverify-files"));
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < FileCount; ++i) {
        files << QDir(folder).filePath(QStringLiteral("pv%1.bin").arg(i, 2, 10, QLatin1Char('0')));
        writeFile(files.constLast(), fileContent(32 * KiB, 20 + i));
    }
    EmulatorProcess device;
    if (!device.start(QStringLiteral(EMULATOR_PATH), QString(),
                      {QStringLiteral("--capacity"), QString::number(TransferCapacity)}, Affinity::deviceCpu())) {
        say(QStringLiteral("cli-putverify: %1").arg(device.errorString()));
        return;
    }
    const auto peak = [&device](const QStringList &arguments) { return peakResidentKiB(device, arguments); };
    Figure &one = results.add(QStringLiteral("cli_putverify_1_peak_kib"),
                              QStringLiteral("put --verify 1 file of 32 KiB, peak above df"), QStringLiteral("KiB"));
    Figure &fifty = results.add(QStringLiteral("cli_putverify_50_peak_kib"),
                                QStringLiteral("put --verify 50 files of 32 KiB, peak above df"), QStringLiteral("KiB"));
    const QStringList verify{QStringLiteral("put"), QStringLiteral("--verify")};
    for (int run = 0; run < runs; ++run) {
        const qint64 baseline = peak({QStringLiteral("df")});
        const qint64 onePeak = peak(verify + files.mid(0, 1));
        const qint64 fiftyPeak = peak(verify + files);
        if (baseline < 0 || onePeak < 0 || fiftyPeak < 0) {
            say(QStringLiteral("  put --verify: a run failed"));
            continue;
        }
        one.samples.append(double(onePeak - baseline));
        fifty.samples.append(double(fiftyPeak - baseline));
        say(QStringLiteral("  peak resident: df %1 KiB, 1 file %2 KiB, 50 files %3 KiB").arg(baseline).arg(onePeak).arg(fiftyPeak));
    }
}

} // namespace

void benchCli(Results &results, int runs, const QString &workFolder, const CliBenchGroups &groups)
{
    say(QStringLiteral("cli: spiffs-cli against spiffs-emulator --baud 115200, each a process"));
    const QString source = QDir(workFolder).filePath(QStringLiteral("cli-store"));
    QDir().mkpath(source);
    const QString name = QStringLiteral("c64k.bin");
    const QByteArray content = fileContent(64 * KiB, 7);
    writeFile(QDir(source).filePath(name), content);

    EmulatorProcess device;
    if (!device.start(QStringLiteral(EMULATOR_PATH), source,
                      {QStringLiteral("--baud"), QString::number(int(Baud)), QStringLiteral("--capacity"),
                       QString::number(TransferCapacity)},
                      Affinity::deviceCpu())) {
        say(QStringLiteral("cli: %1").arg(device.errorString()));
        return;
    }
    if (groups.startup) {
        benchStartup(results, runs, device);
        benchFirstFigure(results, runs, device);
    }
    if (groups.get)
        benchGet(results, runs, workFolder, device, name, content);
    if (groups.put)
        benchPut(results, runs, workFolder, device);
    device.stop();
    if (groups.chain)
        benchChain(results, runs, workFolder);
    if (groups.catMemory)
        benchCatMemory(results, runs, workFolder);
    if (groups.putVerifyMemory)
        benchPutVerifyMemory(results, runs, workFolder);
}
