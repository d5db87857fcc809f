// restore DIR: a backup back on the receiver, under the exact names its
// MANIFEST records, checked against it before anything is sent.
#include "clisession.h"
#include "commands.h"
#include "console.h"
#include "devicenames.h"
#include "jobreport.h"
#include "progressmeter.h"
#include "manifest.h"
#include "shownfigures.h"

#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QSet>

#include <optional>

using CatalogueFormat::ListingEntry;

namespace {

// What stops a file of the backup from being sent; empty when nothing does.
// What is sent is the very content checked here.
QString problemWith(const QDir &dir, const Manifest::Entry &entry, std::optional<QByteArray> *content)
{
    const QString path = dir.filePath(entry.path);
    QFile file;
    if (JobPlan::leadsOutside(dir.path(), path))
        return QStringLiteral("%1 is a link leading outside %2").arg(path, dir.path());
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("%1 is a link to %2, which does not exist").arg(path, info.symLinkTarget());
    if (!info.exists())
        return QStringLiteral("%1 is missing").arg(path);
    if (!openUploadFile(file, path)) {
        const QString reason = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("not a regular file");
        return QStringLiteral("%1 cannot be read: %2").arg(path, reason);
    }
    if (file.size() != entry.size)
        return QStringLiteral("%1 holds %2 bytes, the MANIFEST says %3").arg(path).arg(file.size()).arg(entry.size);
    if (!(*content = readUploadFile(file, entry.size)))
        return QStringLiteral("%1 changed while it was read").arg(path);
    if (sha256(**content) != entry.sha256)
        return QStringLiteral("%1 is not the file the MANIFEST names: its SHA-256 differs").arg(path);
    return QString();
}

} // namespace

int runRestore(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    JobReport report;
    int failed = ExitDone;
    const std::optional<QString> existing = existingFolder(context, &failed);
    if (!existing)
        return failed;
    const QString folder = *existing;
    const QDir dir(folder);
    const QString manifestPath = dir.filePath(QLatin1String(Manifest::FileName));
    if (JobPlan::leadsOutside(folder, manifestPath)) {
        return output.fail(Failure::LocalFile, QStringLiteral("restore: %1 is a link leading outside %2; nothing sent")
                                                       .arg(manifestPath, folder));
    }
    QFile manifestFile(manifestPath);
    if (!manifestFile.open(QIODevice::ReadOnly)) {
        return output.fail(Failure::LocalFile, QStringLiteral("restore: cannot read %1: %2")
                                                       .arg(manifestFile.fileName(), manifestFile.errorString()));
    }
    const Manifest::Parsed parsed = Manifest::parse(manifestFile.readAll());
    if (!parsed.contents)
        return output.fail(Failure::LocalFile, QStringLiteral("restore: %1, %2").arg(manifestFile.fileName(), parsed.error));
    const QVector<Manifest::Entry> &entries = parsed.contents->entries;

    // Every file is checked before anything is sent.
    QVector<PlannedUpload> uploads;
    QVector<ListingEntry> expected;
    QSet<QByteArray> backedUp;
    QStringList left;
    for (const Manifest::Entry &entry : entries) {
        // Kept off the receiver's list of extras too: --clean must not
        // remove what cannot be put back.
        backedUp.insert(entry.name);
        const QString reason = JobPlan::unrestorableReason(entry.name);
        if (!entry.restorable || !reason.isEmpty()) {
            const QString why = reason.isEmpty() ? QStringLiteral("recorded as not restorable") : reason;
            left << QStringLiteral("%1 (%2)").arg(entry.name.isEmpty() ? QStringLiteral("\"\"") : shownName(entry.name), why);
            report.notRestorable.append(QJsonObject{{QStringLiteral("name"), CatalogueFormat::deviceNameText(entry.name)},
                                                    {QStringLiteral("reason"), why}});
            continue;
        }
        std::optional<QByteArray> content;
        const QString problem = problemWith(dir, entry, &content);
        if (!problem.isEmpty()) {
            output.warn(QStringLiteral("restore %1: %2").arg(shownName(entry.name), problem));
            report.differences.append(QJsonObject{{QStringLiteral("name"), CatalogueFormat::deviceNameText(entry.name)},
                                                  {QStringLiteral("problem"), problem}});
            continue;
        }
        uploads << PlannedUpload{entry.name, *content};
        expected << ListingEntry{entry.name, quint32(entry.size)};
    }
    if (!report.differences.isEmpty()) {
        return endJob(context, report, output.fail(Failure::LocalFile, QStringLiteral("restore: the backup does not match "
                                                                                      "its MANIFEST; nothing sent")));
    }
    for (const QString &file : std::as_const(left))
        output.warn(QStringLiteral("restore: left out, not restorable: %1").arg(file));
    // The restorable files go back all the same; the status says not all did.
    const auto finalStatus = [&](int status) {
        if (status != ExitDone || left.isEmpty())
            return status;
        return output.fail(Failure::Incomplete, QStringLiteral("restore: %1 of the backup could not be given back (named "
                                                               "above)")
                                                        .arg(fileCount(left.size())));
    };

    if (const int status = session.open())
        return status;
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
                                 .arg(byteCount(total))
                                 .arg(removals.size())
                                 .arg(timeOnTheLine(report.wireBytes));
        if (!room.fits())
            return endJob(context, report, output.fail(Failure::Incomplete, QStringLiteral("restore: %1: it would not fit").arg(roomText)));
        return endJob(context, report, finalStatus(ExitDone));
    }
    if (!room.fits())
        return endJob(context, report, output.fail(Failure::Refused, QStringLiteral("restore: %1; nothing sent").arg(roomText)));
    if (const int status = confirmRemovals(context, removals, QStringLiteral("from the receiver that the backup lacks")))
        return endJob(context, report, status);

    const int status = carryOut(context, report, removals, uploads, expected);
    report.summary = QStringLiteral("restore: sent %1 (%2), removed %3, in %4")
                             .arg(fileCount(report.sent.size()))
                             .arg(byteCount(report.bytes))
                             .arg(report.removed.size())
                             .arg(durationBegun(report.seconds()));
    return endJob(context, report, finalStatus(status));
}
