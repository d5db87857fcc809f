// backup, restore and sync: jobs over the whole receiver, built from its
// single exchanges. The protocol carries no checksum and knows no folders,
// so each job says exactly what it verified: sizes in a listing, hashes of
// local copies, and content only where it downloads it.
#include "clitool.h"

#include "clitext.h"
#include "console.h"
#include "jobplan.h"
#include "jobprogress.h"
#include "manifest.h"
#include "progressmeter.h"

#include "core/catalogueformat.h"
#include "core/devicesession.h"
#include "core/wireformat.h"
#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFileInfo>
#include <QtCore/QHash>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QSaveFile>
#include <QtCore/QSet>

#include <optional>

using CatalogueFormat::ListingEntry;

struct CliTool::JobReport
{
    QElapsedTimer clock;
    QJsonArray sent;
    QJsonArray received;
    QJsonArray removed;
    QJsonArray skipped;
    QJsonArray unchanged;
    QJsonArray verified;
    QJsonArray differences;
    QString verifiedBy;
    qint64 bytes = 0; // file content moved
    qint64 wireBytes = 0; // a dry run's estimate
    QStringList lines; // stdout, without --json
    QString summary;
};

struct CliTool::PlannedUpload
{
    QByteArray name;
    QByteArray content;
};

namespace {

QByteArray sha256(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256);
}

QJsonObject fileObject(const QByteArray &name, qint64 size)
{
    return {{QStringLiteral("name"), CatalogueFormat::deviceNameText(name)}, {QStringLiteral("size"), size}};
}

QString fileCount(qint64 count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

QString sizeColumn(qint64 size)
{
    return QStringLiteral("%1").arg(size, 10);
}

QString duration(double seconds)
{
    return ProgressLine::duration(qint64(seconds + 0.999));
}

QString timeOnTheLine(qint64 wireBytes)
{
    return QStringLiteral("%1 bytes on the line, about %2 at 115200 baud")
            .arg(wireBytes)
            .arg(duration(JobPlan::wireSeconds(wireBytes)));
}

QHash<QByteArray, qint64> sizesByName(const QVector<ListingEntry> &entries)
{
    QHash<QByteArray, qint64> sizes;
    for (const ListingEntry &entry : entries)
        sizes.insert(entry.name, entry.size);
    return sizes;
}

// A staged file and the folders leading to it.
bool writeFile(const QString &path, const QByteArray &content, QString *error)
{
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *error = QStringLiteral("cannot make the folder %1").arg(QFileInfo(path).path());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// Removes the folders between path and top that path's removal left empty.
void removeEmptyFolders(const QDir &top, const QString &relativePath)
{
    QString folder = QFileInfo(relativePath).path();
    while (folder != QLatin1String(".") && !folder.isEmpty()) {
        if (!top.rmdir(folder))
            return;
        folder = QFileInfo(folder).path();
    }
}

// Moves a complete staged backup into place. Everything that could stop
// half-way is checked before the old MANIFEST goes; from then on DIR has no
// MANIFEST until the new one is written, last.
bool placeBackup(const QDir &dir, const Manifest::Contents &contents, const std::optional<Manifest::Contents> &previous,
                 QString *error)
{
    const QDir staging(dir.filePath(QLatin1String(JobPlan::StagingFolder)));
    for (const Manifest::Entry &entry : contents.entries) {
        const QFileInfo target(dir.filePath(entry.path));
        if (target.isDir() && !target.isSymLink()) {
            *error = QStringLiteral("a folder is in the way of %1").arg(target.filePath());
            return false;
        }
        for (QString folder = QFileInfo(entry.path).path(); folder != QLatin1String("."); folder = QFileInfo(folder).path()) {
            const QFileInfo step(dir.filePath(folder));
            if (step.exists() && !step.isDir()) {
                *error = QStringLiteral("a file is in the way of the folder %1").arg(step.filePath());
                return false;
            }
        }
    }

    const QString manifestPath = dir.filePath(QLatin1String(Manifest::FileName));
    if (QFileInfo::exists(manifestPath) && !QFile::remove(manifestPath)) {
        *error = QStringLiteral("cannot remove the old %1").arg(manifestPath);
        return false;
    }
    QSet<QString> kept;
    for (const Manifest::Entry &entry : contents.entries) {
        const QString target = dir.filePath(entry.path);
        kept.insert(entry.path.toCaseFolded());
        if (!QDir().mkpath(QFileInfo(target).path()) || (QFileInfo::exists(target) && !QFile::remove(target))
            || !QFile::rename(staging.filePath(entry.path), target)) {
            *error = QStringLiteral("cannot move %1 into place").arg(target);
            return false;
        }
    }
    // Only what an earlier backup put there goes; the rest of DIR is the
    // user's. Paths are compared as a case-blind file system would see them.
    if (previous) {
        for (const Manifest::Entry &entry : previous->entries) {
            if (!kept.contains(entry.path.toCaseFolded()) && QFile::remove(dir.filePath(entry.path)))
                removeEmptyFolders(dir, entry.path);
        }
    }

    QSaveFile manifest(manifestPath);
    const QByteArray text = Manifest::write(contents);
    if (!manifest.open(QIODevice::WriteOnly) || manifest.write(text) != text.size() || !manifest.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(manifestPath, manifest.errorString());
        return false;
    }
    QDir(staging).removeRecursively();
    return true;
}

} // namespace

bool CliTool::awaitFile(DeviceReply *reply, JobProgress &progress)
{
    connect(reply, &DeviceReply::progress, reply, [&progress](qint64 done, qint64) { progress.update(done); });
    const bool done = await(reply);
    // The progress line ends before any message about the outcome.
    if (!done)
        progress.finish();
    return done;
}

int CliTool::endJob(JobReport &report, int status)
{
    const QString &command = m_line.command;
    if (m_line.json) {
        QJsonObject document{{QStringLiteral("command"), command},
                             {QStringLiteral("dryRun"), m_line.dryRun},
                             {QStringLiteral("exitStatus"), status},
                             {QStringLiteral("sent"), report.sent},
                             {QStringLiteral("removed"), report.removed},
                             {QStringLiteral("skipped"), report.skipped},
                             {QStringLiteral("verified"), report.verified},
                             {QStringLiteral("verifiedBy"), report.verifiedBy},
                             {QStringLiteral("differences"), report.differences},
                             {QStringLiteral("bytes"), report.bytes},
                             {QStringLiteral("seconds"), double(report.clock.elapsed()) / 1000}};
        if (command == QLatin1String("backup"))
            document.insert(QStringLiteral("received"), report.received);
        if (command == QLatin1String("sync")) {
            document.insert(QStringLiteral("unchanged"), report.unchanged);
            document.insert(QStringLiteral("unchangedBy"), m_line.checksum ? QStringLiteral("content") : QStringLiteral("size"));
        }
        if (m_line.dryRun) {
            document.insert(QStringLiteral("wireBytes"), report.wireBytes);
            document.insert(QStringLiteral("estimatedSeconds"), JobPlan::wireSeconds(report.wireBytes));
        }
        printJson(document);
        return status;
    }
    for (const QString &line : std::as_const(report.lines))
        Console::printLine(line);
    if (!report.summary.isEmpty())
        Console::printLine(report.summary);
    return status;
}

int CliTool::carryOut(JobReport &report, const QVector<QByteArray> &removals, const QVector<PlannedUpload> &uploads,
                      const QVector<ListingEntry> &expected)
{
    const QString &command = m_line.command;
    for (const QByteArray &name : removals) {
        DeviceReply *reply = m_session->remove(name);
        if (!await(reply))
            return failure(reply, QStringLiteral("%1: removing %2").arg(command, shownName(name)));
        reply->deleteLater();
        report.removed.append(CatalogueFormat::deviceNameText(name));
        report.lines << QStringLiteral("removed %1  %2").arg(QString(10, QLatin1Char(' ')), shownName(name));
    }

    qint64 total = 0;
    for (const PlannedUpload &upload : uploads)
        total += upload.content.size();
    JobProgress progress(int(uploads.size()), total, showsProgress());
    for (const PlannedUpload &upload : uploads) {
        progress.startFile(shownName(upload.name), upload.content.size());
        DeviceReply *reply = m_session->upload(upload.name, upload.content);
        if (!awaitFile(reply, progress))
            return failure(reply, QStringLiteral("%1: sending %2").arg(command, shownName(upload.name)));
        reply->deleteLater();
        progress.endFile();
        report.sent.append(fileObject(upload.name, upload.content.size()));
        report.bytes += upload.content.size();
        report.lines << QStringLiteral("sent    %1  %2").arg(sizeColumn(upload.content.size()), shownName(upload.name));
    }
    progress.finish();

    // One listing shows what the receiver now holds; contents are not read back.
    DeviceReply *listing = m_session->requestListing();
    if (!await(listing))
        return failure(listing, QStringLiteral("%1: the closing listing").arg(command));
    const QHash<QByteArray, qint64> held = sizesByName(listing->entries());
    report.verifiedBy = QStringLiteral("name and size in the receiver's listing afterwards");
    const auto differs = [&](const QByteArray &name, const QString &problem) {
        report.differences.append(QJsonObject{{QStringLiteral("name"), CatalogueFormat::deviceNameText(name)},
                                              {QStringLiteral("problem"), problem}});
        Console::printError(QStringLiteral("%1: afterwards the receiver's %2 %3").arg(command, shownName(name), problem));
    };
    for (const ListingEntry &entry : expected) {
        if (!held.contains(entry.name))
            differs(entry.name, QStringLiteral("is missing"));
        else if (held.value(entry.name) != entry.size)
            differs(entry.name, QStringLiteral("holds %1 bytes, not %2").arg(held.value(entry.name)).arg(entry.size));
        else
            report.verified.append(CatalogueFormat::deviceNameText(entry.name));
    }
    for (const QByteArray &name : removals) {
        if (held.contains(name))
            differs(name, QStringLiteral("is still there"));
    }
    return report.differences.isEmpty() ? ExitDone : ExitFailed;
}

// ---- backup ------------------------------------------------------------------------

int CliTool::runBackup()
{
    JobReport report;
    report.clock.start();
    const QString folder = m_line.arguments.constFirst();
    if (!QDir().mkpath(folder)) {
        Console::printError(QStringLiteral("backup: cannot make the folder %1").arg(folder));
        return ExitFailed;
    }
    const QDir dir(folder);
    std::optional<Manifest::Contents> previous;
    QFile previousFile(dir.filePath(QLatin1String(Manifest::FileName)));
    if (previousFile.open(QIODevice::ReadOnly))
        previous = Manifest::parse(previousFile.readAll()).contents;

    if (const int status = openSession())
        return status;
    DeviceReply *memory = m_session->requestMemoryReport();
    if (!await(memory))
        return endJob(report, failure(memory, QStringLiteral("backup")));
    DeviceReply *listing = m_session->requestListing();
    if (!await(listing))
        return endJob(report, failure(listing, QStringLiteral("backup")));
    const QVector<ListingEntry> entries = listing->entries();

    QVector<QByteArray> names;
    qint64 total = 0;
    for (const ListingEntry &entry : entries) {
        names << entry.name;
        total += entry.size;
    }
    const QVector<QString> paths = JobPlan::backupPaths(names);
    const QDir staging(dir.filePath(QLatin1String(JobPlan::StagingFolder)));
    // What an earlier run left there is not known to be whole.
    QDir(staging).removeRecursively();
    // Nothing downloaded is kept, so nothing is reported as received.
    const auto abandon = [&](int status) {
        QDir(staging).removeRecursively();
        report.received = QJsonArray();
        report.verified = QJsonArray();
        report.bytes = 0;
        report.lines.clear();
        return endJob(report, status);
    };

    Manifest::Contents contents;
    contents.taken = QDateTime::currentDateTimeUtc();
    contents.totalBytes = memory->memory().totalBytes;
    contents.usedBytes = memory->memory().usedBytes;
    JobProgress progress(int(entries.size()), total, showsProgress());
    for (int i = 0; i < entries.size(); ++i) {
        const ListingEntry &entry = entries.at(i);
        const QString shown = shownName(entry.name);
        progress.startFile(shown, entry.size);
        DeviceReply *reply = m_session->download(entry.name);
        if (!awaitFile(reply, progress))
            return abandon(failure(reply, QStringLiteral("backup %1").arg(shown)));
        const QByteArray content = reply->content();
        reply->deleteLater();
        progress.endFile();
        if (content.size() != qint64(entry.size)) {
            progress.finish();
            Console::printError(QStringLiteral("backup %1: the listing said %2 bytes, the download brought %3")
                                        .arg(shown)
                                        .arg(entry.size)
                                        .arg(content.size()));
            return abandon(ExitFailed);
        }
        QString error;
        if (!writeFile(staging.filePath(paths.at(i)), content, &error)) {
            progress.finish();
            Console::printError(QStringLiteral("backup: ") + error);
            return abandon(ExitFailed);
        }
        contents.entries << Manifest::Entry{content.size(), sha256(content), entry.name, paths.at(i)};
        report.received.append(QJsonObject{{QStringLiteral("name"), CatalogueFormat::deviceNameText(entry.name)},
                                           {QStringLiteral("size"), content.size()},
                                           {QStringLiteral("path"), paths.at(i)}});
        report.verified.append(CatalogueFormat::deviceNameText(entry.name));
        report.bytes += content.size();
        const bool renamed = paths.at(i) != CatalogueFormat::deviceNameText(entry.name);
        report.lines << QStringLiteral("saved   %1  %2%3")
                                .arg(sizeColumn(content.size()), shown,
                                     renamed ? QStringLiteral("  as ") + paths.at(i) : QString());
    }
    progress.finish();
    report.verifiedBy = QStringLiteral("bytes received against the listing's size; the SHA-256 is of what arrived");
    if (m_interrupted) {
        Console::printError(QStringLiteral("backup: interrupted; the folder is as it was"));
        return abandon(ExitInterrupted);
    }

    QString error;
    if (!placeBackup(dir, contents, previous, &error)) {
        Console::printError(QStringLiteral("backup: ") + error);
        return abandon(ExitFailed);
    }
    report.summary = QStringLiteral("backup: %1, %2, and %3 in %4")
                             .arg(fileCount(entries.size()))
                             .arg(ProgressLine::byteCount(report.bytes),
                                  QDir::toNativeSeparators(dir.filePath(QLatin1String(Manifest::FileName))))
                             .arg(duration(double(report.clock.elapsed()) / 1000));
    return endJob(report, ExitDone);
}

// ---- restore -----------------------------------------------------------------------

int CliTool::runRestore()
{
    JobReport report;
    report.clock.start();
    const QString folder = m_line.arguments.constFirst();
    if (!QFileInfo(folder).isDir()) {
        Console::printError(QStringLiteral("restore: no such folder: %1").arg(folder));
        return ExitUsage;
    }
    const QDir dir(folder);
    QFile manifestFile(dir.filePath(QLatin1String(Manifest::FileName)));
    if (!manifestFile.open(QIODevice::ReadOnly)) {
        Console::printError(QStringLiteral("restore: cannot read %1: %2").arg(manifestFile.fileName(), manifestFile.errorString()));
        return ExitFailed;
    }
    const Manifest::Parsed parsed = Manifest::parse(manifestFile.readAll());
    if (!parsed.contents) {
        Console::printError(QStringLiteral("restore: %1, %2").arg(manifestFile.fileName(), parsed.error));
        return ExitFailed;
    }
    const QVector<Manifest::Entry> &entries = parsed.contents->entries;

    // Every file is checked before anything is sent, and what is sent is
    // the very content that was checked.
    QVector<PlannedUpload> uploads;
    QVector<ListingEntry> expected;
    QSet<QByteArray> backedUp;
    for (const Manifest::Entry &entry : entries) {
        const QString path = dir.filePath(entry.path);
        QString problem;
        QFile file;
        std::optional<QByteArray> content;
        if (WireFormat::devicePath(entry.name).size() > TransferFormat::MaxDevicePathBytes)
            problem = QStringLiteral("its name is longer than the receiver's %1 bytes").arg(TransferFormat::MaxDevicePathBytes - 1);
        else if (!openUploadFile(file, path))
            problem = QStringLiteral("%1 cannot be read").arg(path);
        else if (file.size() != entry.size)
            problem = QStringLiteral("%1 holds %2 bytes, the MANIFEST says %3").arg(path).arg(file.size()).arg(entry.size);
        else if (!(content = readUploadFile(file, entry.size)))
            problem = QStringLiteral("%1 changed while it was read").arg(path);
        else if (sha256(*content) != entry.sha256)
            problem = QStringLiteral("%1 is not the file the MANIFEST names: its SHA-256 differs").arg(path);
        if (!problem.isEmpty()) {
            Console::printError(QStringLiteral("restore %1: %2").arg(shownName(entry.name), problem));
            report.differences.append(QJsonObject{{QStringLiteral("name"), CatalogueFormat::deviceNameText(entry.name)},
                                                  {QStringLiteral("problem"), problem}});
            continue;
        }
        uploads << PlannedUpload{entry.name, *content};
        expected << ListingEntry{entry.name, quint32(entry.size)};
        backedUp.insert(entry.name);
    }
    if (!report.differences.isEmpty()) {
        Console::printError(QStringLiteral("restore: the backup does not match its MANIFEST; nothing sent"));
        return endJob(report, ExitFailed);
    }

    if (const int status = openSession())
        return status;
    DeviceReply *memory = m_session->requestMemoryReport();
    if (!await(memory))
        return endJob(report, failure(memory, QStringLiteral("restore")));
    DeviceReply *listing = m_session->requestListing();
    if (!await(listing))
        return endJob(report, failure(listing, QStringLiteral("restore")));
    const QVector<ListingEntry> held = listing->entries();
    const QHash<QByteArray, qint64> heldSizes = sizesByName(held);

    QVector<QByteArray> removals;
    QVector<qint64> removedSizes;
    if (m_line.clean) {
        for (const ListingEntry &entry : held) {
            if (!backedUp.contains(entry.name)) {
                removals << entry.name;
                removedSizes << entry.size;
            }
        }
    }
    QVector<JobPlan::Upload> sizes;
    qint64 total = 0;
    for (const PlannedUpload &upload : std::as_const(uploads)) {
        sizes << JobPlan::Upload{upload.content.size(), heldSizes.contains(upload.name)
                                                                ? std::optional<qint64>(heldSizes.value(upload.name))
                                                                : std::nullopt};
        total += upload.content.size();
    }
    const JobPlan::Room room = JobPlan::room(memory->memory(), removedSizes, sizes);
    const QString roomText = QStringLiteral("the backup needs up to %1 bytes of the receiver's room, which has %2 free%3")
                                     .arg(room.needed)
                                     .arg(room.free)
                                     .arg(room.freed > 0 ? QStringLiteral(" and %1 freed by --clean").arg(room.freed) : QString());

    if (m_line.dryRun) {
        for (const QByteArray &name : std::as_const(removals)) {
            report.removed.append(CatalogueFormat::deviceNameText(name));
            report.lines << QStringLiteral("remove  %1  %2").arg(QString(10, QLatin1Char(' ')), shownName(name));
            report.wireBytes += JobPlan::removeWireBytes(name);
        }
        for (const PlannedUpload &upload : std::as_const(uploads)) {
            report.sent.append(fileObject(upload.name, upload.content.size()));
            report.lines << QStringLiteral("send    %1  %2").arg(sizeColumn(upload.content.size()), shownName(upload.name));
            report.wireBytes += JobPlan::uploadWireBytes(upload.name, upload.content.size());
        }
        report.bytes = total;
        report.summary = QStringLiteral("would send %1 (%2), remove %3: %4; nothing changed")
                                 .arg(fileCount(uploads.size()))
                                 .arg(ProgressLine::byteCount(total))
                                 .arg(removals.size())
                                 .arg(timeOnTheLine(report.wireBytes));
        if (!room.fits())
            Console::printError(QStringLiteral("restore: %1: it would not fit").arg(roomText));
        return endJob(report, room.fits() ? ExitDone : ExitFailed);
    }
    if (!room.fits()) {
        Console::printError(QStringLiteral("restore: %1; nothing sent").arg(roomText));
        return endJob(report, ExitFailed);
    }

    const int status = carryOut(report, removals, uploads, expected);
    report.summary = QStringLiteral("restore: sent %1 (%2), removed %3, in %4")
                             .arg(fileCount(report.sent.size()))
                             .arg(ProgressLine::byteCount(report.bytes))
                             .arg(report.removed.size())
                             .arg(duration(double(report.clock.elapsed()) / 1000));
    return endJob(report, status);
}

// ---- sync --------------------------------------------------------------------------

int CliTool::runSync()
{
    JobReport report;
    report.clock.start();
    const QString folder = m_line.arguments.constFirst();
    if (!QFileInfo(folder).isDir()) {
        Console::printError(QStringLiteral("sync: no such folder: %1").arg(folder));
        return ExitUsage;
    }
    const JobPlan::LocalTree tree = JobPlan::scanFolder(folder);
    QSet<QByteArray> skippedNames;
    for (const JobPlan::Skipped &skipped : tree.skipped) {
        skippedNames.insert(skipped.name.toUtf8());
        report.skipped.append(QJsonObject{{QStringLiteral("name"), skipped.name}, {QStringLiteral("reason"), skipped.reason}});
        if (m_line.dryRun)
            report.lines << QStringLiteral("skip    %1  %2: %3").arg(QString(10, QLatin1Char(' ')), skipped.name, skipped.reason);
        else
            Console::printError(QStringLiteral("sync: skipped %1: %2").arg(skipped.name, skipped.reason));
    }
    const int finalStatus = tree.skipped.isEmpty() ? ExitDone : ExitFailed;

    if (const int status = openSession())
        return status;
    DeviceReply *memory = m_session->requestMemoryReport();
    if (!await(memory))
        return endJob(report, failure(memory, QStringLiteral("sync")));
    DeviceReply *listing = m_session->requestListing();
    if (!await(listing))
        return endJob(report, failure(listing, QStringLiteral("sync")));
    const QVector<ListingEntry> held = listing->entries();
    const QHash<QByteArray, qint64> heldSizes = sizesByName(held);

    QVector<JobPlan::LocalFile> toSend;
    QVector<JobPlan::LocalFile> toCompare;
    QSet<QByteArray> localNames;
    QVector<ListingEntry> expected;
    for (const JobPlan::LocalFile &file : tree.files) {
        const QByteArray name = file.name.toLatin1();
        localNames.insert(name);
        expected << ListingEntry{name, quint32(file.size)};
        if (!heldSizes.contains(name) || heldSizes.value(name) != file.size)
            toSend << file;
        else if (m_line.checksum)
            toCompare << file;
        else
            report.unchanged.append(file.name);
    }
    QVector<QByteArray> removals;
    QVector<qint64> removedSizes;
    if (m_line.deleteExtra) {
        // A name DIR holds but could not send is no reason to remove it.
        for (const ListingEntry &entry : held) {
            if (!localNames.contains(entry.name) && !skippedNames.contains(entry.name)) {
                removals << entry.name;
                removedSizes << entry.size;
            }
        }
    }

    if (m_line.dryRun) {
        qint64 sendBytes = 0;
        qint64 compareBytes = 0;
        for (const QByteArray &name : std::as_const(removals)) {
            report.removed.append(CatalogueFormat::deviceNameText(name));
            report.lines << QStringLiteral("remove  %1  %2").arg(QString(10, QLatin1Char(' ')), shownName(name));
            report.wireBytes += JobPlan::removeWireBytes(name);
        }
        for (const JobPlan::LocalFile &file : std::as_const(toCompare)) {
            report.lines << QStringLiteral("compare %1  %2").arg(sizeColumn(file.size), file.name);
            report.wireBytes += JobPlan::downloadWireBytes(file.name.toLatin1(), file.size);
            compareBytes += file.size;
        }
        for (const JobPlan::LocalFile &file : std::as_const(toSend)) {
            report.sent.append(fileObject(file.name.toLatin1(), file.size));
            report.lines << QStringLiteral("send    %1  %2").arg(sizeColumn(file.size), file.name);
            report.wireBytes += JobPlan::uploadWireBytes(file.name.toLatin1(), file.size);
            sendBytes += file.size;
        }
        report.bytes = sendBytes + compareBytes;
        report.summary = QStringLiteral("would send %1 (%2), remove %3, compare %4 (%5, each sent too if it "
                                        "differs), skip %6: %7; nothing changed")
                                 .arg(fileCount(toSend.size()))
                                 .arg(ProgressLine::byteCount(sendBytes))
                                 .arg(removals.size())
                                 .arg(toCompare.size())
                                 .arg(ProgressLine::byteCount(compareBytes))
                                 .arg(tree.skipped.size())
                                 .arg(timeOnTheLine(report.wireBytes));
        return endJob(report, finalStatus);
    }

    // Local copies are read before the receiver is changed: a file that
    // cannot be read, or changes meanwhile, stops the job with nothing sent.
    const auto readFile = [&](const JobPlan::LocalFile &file) -> std::optional<QByteArray> {
        QFile local;
        std::optional<QByteArray> content;
        if (openUploadFile(local, file.path))
            content = readUploadFile(local, file.size);
        if (!content)
            Console::printError(QStringLiteral("sync: %1 cannot be read, or changed while it was read; nothing sent").arg(file.path));
        return content;
    };

    if (!toCompare.isEmpty()) {
        qint64 total = 0;
        for (const JobPlan::LocalFile &file : std::as_const(toCompare))
            total += file.size;
        JobProgress progress(int(toCompare.size()), total, showsProgress());
        for (const JobPlan::LocalFile &file : std::as_const(toCompare)) {
            progress.startFile(file.name + QStringLiteral(" (compare)"), file.size);
            DeviceReply *reply = m_session->download(file.name.toLatin1());
            if (!awaitFile(reply, progress))
                return endJob(report, failure(reply, QStringLiteral("sync: comparing %1").arg(file.name)));
            progress.endFile();
            report.bytes += file.size;
            const std::optional<QByteArray> local = readFile(file);
            if (!local) {
                progress.finish();
                return endJob(report, ExitFailed);
            }
            if (reply->content() == *local)
                report.unchanged.append(file.name);
            else
                toSend << file;
            reply->deleteLater();
        }
        progress.finish();
    }

    QVector<JobPlan::Upload> sizes;
    for (const JobPlan::LocalFile &file : std::as_const(toSend)) {
        const QByteArray name = file.name.toLatin1();
        sizes << JobPlan::Upload{file.size, heldSizes.contains(name) ? std::optional<qint64>(heldSizes.value(name))
                                                                     : std::nullopt};
    }
    const JobPlan::Room room = JobPlan::room(memory->memory(), removedSizes, sizes);
    if (!room.fits()) {
        Console::printError(QStringLiteral("sync: the files to send need up to %1 bytes of the receiver's room, which has "
                                           "%2 free%3; nothing sent")
                                    .arg(room.needed)
                                    .arg(room.free)
                                    .arg(room.freed > 0 ? QStringLiteral(" and %1 freed by --delete").arg(room.freed) : QString()));
        return endJob(report, ExitFailed);
    }
    QVector<PlannedUpload> uploads;
    for (const JobPlan::LocalFile &file : std::as_const(toSend)) {
        const std::optional<QByteArray> content = readFile(file);
        if (!content)
            return endJob(report, ExitFailed);
        uploads << PlannedUpload{file.name.toLatin1(), *content};
    }

    const int status = carryOut(report, removals, uploads, expected);
    report.summary = QStringLiteral("sync: sent %1, removed %2, %3 unchanged%4, %5 skipped; %6 moved in %7")
                             .arg(fileCount(report.sent.size()))
                             .arg(report.removed.size())
                             .arg(report.unchanged.size())
                             .arg(m_line.checksum ? QStringLiteral(" (by content)") : QStringLiteral(" (by size)"))
                             .arg(tree.skipped.size())
                             .arg(ProgressLine::byteCount(report.bytes), duration(double(report.clock.elapsed()) / 1000));
    return endJob(report, status != ExitDone ? status : finalStatus);
}
