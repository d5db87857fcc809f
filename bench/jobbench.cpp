#include "jobbench.h"

#include "affinity.h"
#include "benchutil.h"
#include "cliprocess.h"
#include "results.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

using namespace Bench;

namespace {

constexpr int DownloadReplyHeader = 4; // the size before the content
// The requests a job makes before its files: the memory report, the listing.
constexpr int RequestsBeforeFiles = 2;
const QString Manifest = QStringLiteral("MANIFEST");

struct StoredFile
{
    QByteArray name; // the receiver's name
    qint64 size = 0;
};

// A store folder as the emulator's --dir reads it: "/" in a name is %2F.
QVector<StoredFile> storeFiles(const QString &folder)
{
    QVector<StoredFile> files;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &entry : entries)
        files.append({QByteArray::fromPercentEncoding(entry.fileName().toUtf8()), entry.size()});
    return files;
}

QString madeStore(const QString &work)
{
    const QString folder = QDir(work).filePath(QStringLiteral("jobs-store-50"));
    QDir().mkpath(folder);
    for (int i = 0; i < 50; ++i) {
        const int size = KiB + i * 7 * KiB / 49; // 1 KiB to 8 KiB
        writeFile(QDir(folder).filePath(QStringLiteral("f%1.bin").arg(i, 2, 10, QLatin1Char('0'))),
                  fileContent(size, quint32(100 + i)));
    }
    return folder;
}

CliRun cliRun(const EmulatorProcess &device, const QStringList &arguments)
{
    CliRun run;
    run.program = QStringLiteral(CLI_PATH);
    run.port = device.portName();
    run.arguments = arguments;
    return run;
}

bool ranWell(const CliTimings &timings, int writesNeeded, const QString &what)
{
    if (timings.finished && timings.exitCode == 0 && timings.writeNs.size() >= writesNeeded)
        return true;
    say(QStringLiteral("  %1: did not finish (%2; exit %3: %4)")
                .arg(what, timings.error)
                .arg(timings.exitCode)
                .arg(QString::fromLocal8Bit(timings.standardError).trimmed()));
    return false;
}

// From the first download request to the MANIFEST in place; against the
// wire time of every download, requests included.
void benchBackup(Results &results, int runs, const QString &work, const EmulatorProcess &device,
                 const QVector<StoredFile> &files, const QString &label, const QString &key)
{
    qint64 wireBytes = 0;
    for (const StoredFile &file : files)
        wireBytes += FrameHeader + 4 + 1 + file.name.size() + DownloadReplyHeader + file.size;
    const double wire = wireSeconds(wireBytes);
    Figure &figure = results.add(QStringLiteral("cli_backup_%1_efficiency").arg(key),
                                 QStringLiteral("spiffs-cli backup, %1, of wire time").arg(label), QStringLiteral("%"));
    for (int run = -1; run < runs; ++run) {
        const QString folder = QDir(work).filePath(QStringLiteral("backup-%1-%2").arg(key).arg(run + 1));
        QDir().mkpath(folder);
        CliRun cli = cliRun(device, {QStringLiteral("-q"), QStringLiteral("backup"), folder});
        cli.watchedFolder = folder;
        cli.portWritesWatched = RequestsBeforeFiles + 1;
        const CliTimings timings = runCli(cli);
        if (!ranWell(timings, RequestsBeforeFiles + 1, QStringLiteral("backup")) || !timings.savedNs.contains(Manifest))
            continue;
        QDir(folder).removeRecursively();
        if (run < 0)
            continue; // the program's pages, caches
        const double seconds = double(timings.savedNs.value(Manifest) - timings.writeNs.at(RequestsBeforeFiles)) / 1e9;
        figure.samples.append(100 * wire / seconds);
        say(QStringLiteral("  backup %1: %2 s for %3 s of downloads on the wire (%4 %); exit %5 ms after the MANIFEST")
                    .arg(label, QString::number(seconds, 'f', 3), QString::number(wire, 'f', 3),
                         QString::number(100 * wire / seconds, 'f', 2))
                    .arg(double(timings.exitNs - timings.savedNs.value(Manifest)) / 1e6, 0, 'f', 1));
    }
}

// From the first upload's start frame to the closing listing's request (the
// command line's last write, sent once the last upload's "u" is in), onto an
// emptied receiver; against the stop-and-wait bounds of the uploads. Every
// write is watched: a few hundred a second, a light load.
void benchRestore(Results &results, int runs, const QString &work, const EmulatorProcess &device,
                  const QVector<StoredFile> &files, const QString &label, const QString &key)
{
    qint64 boundBytes = 0;
    for (const StoredFile &file : files)
        boundBytes += uploadBoundBytes(file.size, int(file.name.size()));
    const double bound = wireSeconds(boundBytes);
    Figure &figure = results.add(QStringLiteral("cli_restore_%1_efficiency").arg(key),
                                 QStringLiteral("spiffs-cli restore, %1, of stop-and-wait bound").arg(label),
                                 QStringLiteral("%"));
    const QString backup = QDir(work).filePath(QStringLiteral("restore-from-%1").arg(key));
    if (!ranWell(runCli(cliRun(device, {QStringLiteral("-q"), QStringLiteral("backup"), backup})), 0,
                 QStringLiteral("backup before restore")))
        return;
    for (int run = -1; run < runs; ++run) {
        if (!ranWell(runCli(cliRun(device, {QStringLiteral("format"), QStringLiteral("--yes")})), 0,
                     QStringLiteral("format before restore")))
            return;
        const CliTimings timings = runCli(cliRun(device, {QStringLiteral("-q"), QStringLiteral("restore"), backup}));
        if (!ranWell(timings, RequestsBeforeFiles + 2, QStringLiteral("restore")) || run < 0)
            continue;
        const double seconds = double(timings.writeNs.last() - timings.writeNs.at(RequestsBeforeFiles)) / 1e9;
        figure.samples.append(100 * bound / seconds);
        say(QStringLiteral("  restore %1: %2 s for a bound of %3 s (%4 %); the closing listing and exit %5 ms more")
                    .arg(label, QString::number(seconds, 'f', 3), QString::number(bound, 'f', 3),
                         QString::number(100 * bound / seconds, 'f', 2))
                    .arg(double(timings.exitNs - timings.writeNs.last()) / 1e6, 0, 'f', 1));
    }
}

} // namespace

void benchJobs(Results &results, int runs, const QString &workFolder)
{
    say(QStringLiteral("jobs: spiffs-cli backup and restore against spiffs-emulator --baud 115200, each a process"));
    const struct
    {
        QString source;
        QString label;
        QString key;
    } stores[] = {
        {QStringLiteral(SOURCE_DIR "/examples/sample-store"), QStringLiteral("sample store"), QStringLiteral("sample")},
        {madeStore(workFolder), QStringLiteral("50 files of 1-8 KiB"), QStringLiteral("50")},
    };
    for (const auto &store : stores) {
        const QVector<StoredFile> files = storeFiles(store.source);
        EmulatorProcess device;
        if (!device.start(QStringLiteral(EMULATOR_PATH), store.source, {QStringLiteral("--baud"), QString::number(int(Baud))},
                          Affinity::deviceCpu())) {
            say(QStringLiteral("jobs: %1").arg(device.errorString()));
            return;
        }
        benchBackup(results, runs, workFolder, device, files, store.label, store.key);
        benchRestore(results, runs, workFolder, device, files, store.label, store.key);
    }
}
