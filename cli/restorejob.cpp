// restore DIR: a backup back on the receiver, under the exact names its
// MANIFEST records, checked against it before anything is sent.
#include "clisession.h"
#include "clitext.h"
#include "commands.h"
#include "console.h"
#include "jobreport.h"
#include "progressmeter.h"
#include "manifest.h"

#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QSet>

#include <optional>

using CatalogueFormat::ListingEntry;

int runRestore(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    JobReport report;
    const QString folder = line.arguments.constFirst();
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
        if (!TransferFormat::devicePathFits(entry.name))
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
        return endJob(context, report, ExitFailed);
    }

    if (const int status = session.open())
        return status;
    int failed = ExitDone;
    const std::optional<CliSession::Holdings> holdings = session.memoryAndListing(QStringLiteral("restore"), &failed);
    if (!holdings)
        return endJob(context, report, failed);
    const QVector<ListingEntry> &held = holdings->entries;
    const QHash<QByteArray, qint64> heldSizes = sizesByName(held);

    QVector<QByteArray> removals;
    QVector<qint64> removedSizes;
    if (line.clean) {
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
        sizes << plannedAgainst(heldSizes, upload.name, upload.content.size());
        total += upload.content.size();
    }
    const JobPlan::Room room = JobPlan::room(holdings->memory, removedSizes, sizes);
    const QString roomText = QStringLiteral("the backup needs up to %1 bytes of the receiver's room, which has %2 free%3")
                                     .arg(room.needed)
                                     .arg(room.free)
                                     .arg(room.freed > 0 ? QStringLiteral(" and %1 freed by --clean").arg(room.freed) : QString());

    if (line.dryRun) {
        for (const QByteArray &name : std::as_const(removals))
            report.planRemoval(name);
        for (const PlannedUpload &upload : std::as_const(uploads))
            report.planUpload(upload.name, upload.content.size());
        report.bytes = total;
        report.summary = QStringLiteral("would send %1 (%2), remove %3: %4; nothing changed")
                                 .arg(fileCount(uploads.size()))
                                 .arg(ProgressLine::byteCount(total))
                                 .arg(removals.size())
                                 .arg(timeOnTheLine(report.wireBytes));
        if (!room.fits())
            Console::printError(QStringLiteral("restore: %1: it would not fit").arg(roomText));
        return endJob(context, report, room.fits() ? ExitDone : ExitFailed);
    }
    if (!room.fits()) {
        Console::printError(QStringLiteral("restore: %1; nothing sent").arg(roomText));
        return endJob(context, report, ExitFailed);
    }

    const int status = carryOut(context, report, removals, uploads, expected);
    report.summary = QStringLiteral("restore: sent %1 (%2), removed %3, in %4")
                             .arg(fileCount(report.sent.size()))
                             .arg(ProgressLine::byteCount(report.bytes))
                             .arg(report.removed.size())
                             .arg(duration(report.seconds()));
    return endJob(context, report, status);
}
