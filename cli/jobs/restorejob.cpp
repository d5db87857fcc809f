// restore DIR: a backup back on the receiver, under the exact names its
// MANIFEST records, checked against it before anything is sent.
#include "cli/session/clisession.h"
#include "cli/jobs/jobs.h"
#include "cli/names/devicenames.h"
#include "cli/jobs/erasing.h"
#include "cli/jobs/jobreport.h"
#include "cli/names/localfiles.h"
#include "cli/jobs/receiverwrites.h"
#include "cli/jobs/manifest.h"
#include "cli/output/shownfigures.h"

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
    if (leadsOutside(dir.path(), path))
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
        return QStringLiteral("%1 holds %2 bytes, the MANIFEST says %3")
                .arg(path, QString::number(file.size()), QString::number(entry.size));
    if (!(*content = readUploadFile(file, entry.size)))
        return QStringLiteral("%1 changed while it was read").arg(path);
    if (sha256(**content) != entry.sha256)
        return QStringLiteral("%1 is not the file the MANIFEST names: its SHA-256 differs").arg(path);
    return QString();
}

// DIR/MANIFEST, or the earlier one --manifest names, read and checked; not
// one outside DIR.
Manifest::Contents readManifest(const QString &folder, const QString &name)
{
    const QString manifestPath = QDir(folder).filePath(name);
    if (leadsOutside(folder, manifestPath)) {
        throw CommandFailure(Failure::LocalFile, QStringLiteral("restore: %1 is a link leading outside %2; nothing sent")
                                                         .arg(manifestPath, folder));
    }
    QFile manifestFile(manifestPath);
    if (!manifestFile.open(QIODevice::ReadOnly)) {
        throw CommandFailure(Failure::LocalFile, QStringLiteral("restore: cannot read %1: %2")
                                                         .arg(manifestFile.fileName(), manifestFile.errorString()));
    }
    const Manifest::Parsed parsed = Manifest::parse(manifestFile.readAll());
    if (!parsed.contents)
        throw CommandFailure(Failure::LocalFile, QStringLiteral("restore: %1, %2").arg(manifestFile.fileName(), parsed.error));
    return *parsed.contents;
}

// The MANIFEST restore puts back: DIR's newest, or the earlier one named.
QString chosenManifest(const CommandLine &line)
{
    if (line.manifestName.isEmpty())
        return QLatin1String(Manifest::FileName);
    if (line.manifestName != QLatin1String(Manifest::FileName) && !Manifest::isKeptName(line.manifestName)) {
        throw CommandFailure(Failure::Usage, QStringLiteral("restore: --manifest takes MANIFEST or an earlier one kept "
                                                            "in DIR, MANIFEST.DATE (such as MANIFEST.2026-12-08T11-30-00Z), "
                                                            "not %1").arg(line.manifestName));
    }
    return line.manifestName;
}

// A newest backup that lists no file, while DIR keeps earlier ones that do,
// is most often one taken after an accident: restoring it would put back
// nothing. The earlier ones are named instead.
void refuseEmptyOverKept(const QString &folder, const QString &name, const Manifest::Contents &contents)
{
    if (name != QLatin1String(Manifest::FileName) || !contents.entries.isEmpty())
        return;
    const QDir dir(folder);
    QStringList kept;
    for (const QString &earlier : dir.entryList({QStringLiteral("MANIFEST.*")}, QDir::Files, QDir::Name | QDir::Reversed)) {
        if (!Manifest::isKeptName(earlier))
            continue;
        QFile file(dir.filePath(earlier));
        const Manifest::Parsed parsed = file.open(QIODevice::ReadOnly) ? Manifest::parse(file.readAll()) : Manifest::Parsed();
        if (parsed.contents && !parsed.contents->entries.isEmpty())
            kept << QStringLiteral("%1 (%2)").arg(earlier, fileCount(parsed.contents->entries.size()));
    }
    if (kept.isEmpty())
        return;
    throw CommandFailure(Failure::LocalFile,
                         QStringLiteral("restore: %1 lists no file: the backup of %2 found the receiver empty. %3 keeps "
                                        "earlier backups: %4; restore --manifest NAME puts one back; nothing sent")
                                 .arg(dir.filePath(name), contents.taken.toUTC().toString(Qt::ISODate),
                                      QDir::toNativeSeparators(folder), kept.join(QStringLiteral(", "))));
}

struct RestorePlan
{
    QVector<PlannedUpload> uploads;
    QVector<ListingEntry> expected; // what the listing must show afterwards
    QSet<QByteArray> backedUp;      // every name the MANIFEST records
    QStringList left;               // not restorable, with why
};

// Every file of the backup checked before anything is sent: a difference
// stops the job, a name that cannot go back is left out.
RestorePlan checkBackup(const CommandContext &context, const QDir &dir, const QVector<Manifest::Entry> &entries,
                        JobReport &report)
{
    RestorePlan plan;
    for (const Manifest::Entry &entry : entries) {
        // Kept off the receiver's list of extras too: --clean must not
        // remove what cannot be put back.
        plan.backedUp.insert(entry.name);
        const QString reason = JobPlan::unrestorableReason(entry.name);
        if (!entry.restorable || !reason.isEmpty()) {
            const QString why = reason.isEmpty() ? QStringLiteral("recorded as not restorable") : reason;
            plan.left << QStringLiteral("%1 (%2)").arg(entry.name.isEmpty() ? QStringLiteral("\"\"") : shownName(entry.name), why);
            report.notRestorable.append(withName({{QStringLiteral("reason"), why}}, entry.name));
            continue;
        }
        std::optional<QByteArray> content;
        const QString problem = problemWith(dir, entry, &content);
        if (!problem.isEmpty()) {
            context.output.warn(QStringLiteral("restore %1: %2").arg(shownName(entry.name), problem));
            report.differences.append(withName({{QStringLiteral("problem"), problem}}, entry.name));
            continue;
        }
        plan.uploads << PlannedUpload{entry.name, *content};
        plan.expected << ListingEntry{entry.name, quint32(entry.size)};
    }
    if (!report.differences.isEmpty()) {
        context.output.showReport();
        throw CommandFailure(Failure::LocalFile, QStringLiteral("restore: the backup does not match its MANIFEST; nothing sent"));
    }
    for (const QString &file : std::as_const(plan.left))
        context.output.warn(QStringLiteral("restore: left out, not restorable: %1").arg(file));
    return plan;
}

// The restorable files go back all the same; the status says not all did.
void failIfLeftOut(const RestorePlan &plan)
{
    if (!plan.left.isEmpty()) {
        throw CommandFailure(Failure::Incomplete, QStringLiteral("restore: %1 of the backup could not be given back (named "
                                                                 "above)")
                                                          .arg(fileCount(plan.left.size())));
    }
}

qint64 totalBytes(const QVector<PlannedUpload> &uploads)
{
    qint64 total = 0;
    for (const PlannedUpload &upload : uploads)
        total += upload.content.size();
    return total;
}

// --dry-run: the plan, and whether it would fit.
void reportDryRun(const RestorePlan &plan, const QVector<QByteArray> &removals, const FlashRoom::Room &room,
                  const QString &roomText, JobReport &report)
{
    for (const QByteArray &name : removals)
        report.planRemoval(name);
    for (const PlannedUpload &upload : plan.uploads)
        report.planUpload(upload.name, upload.content.size());
    report.bytes = totalBytes(plan.uploads);
    const QString summary = QStringLiteral("would send %1 (%2), remove %3: %4; nothing changed")
                                    .arg(fileCount(plan.uploads.size()))
                                    .arg(byteCount(report.bytes))
                                    .arg(removals.size())
                                    .arg(timeOnTheLine(report.wireBytes));
    report.summary = [summary] { return summary; };
    if (!room.fits())
        throw CommandFailure(Failure::Incomplete, QStringLiteral("restore: %1: it would not fit").arg(roomText));
    failIfLeftOut(plan);
}

} // namespace

void runRestore(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    const QString folder = existingFolder(line.command, line.arguments.constFirst());
    const QString manifestName = chosenManifest(line);
    const Manifest::Contents contents = readManifest(folder, manifestName);
    refuseEmptyOverKept(folder, manifestName, contents);
    const QVector<Manifest::Entry> &entries = contents.entries;
    JobReport &report = context.output.keepReport(std::make_unique<JobReport>(line));
    const RestorePlan plan = checkBackup(context, QDir(folder), entries, report);

    context.output.showReport();
    const CliSession::Holdings holdings = session.memoryAndListing(QStringLiteral("restore"));
    QVector<QByteArray> removals;
    for (const ListingEntry &entry : holdings.entries) {
        if (line.clean && !plan.backedUp.contains(entry.name))
            removals << entry.name;
    }
    ReceiverWrites::JobChanges changes{removals, {}, plan.expected, QStringLiteral("the backup needs"),
                                       QStringLiteral("--clean"), QStringLiteral("from the receiver that the backup lacks")};
    for (const PlannedUpload &upload : plan.uploads)
        changes.uploads.append({upload.name, upload.content.size()});
    if (line.dryRun) {
        const FlashRoom::Room room = ReceiverWrites::roomFor(holdings, removals, changes.uploads);
        return reportDryRun(plan, removals, room, ReceiverWrites::roomText(room, changes.needs, changes.freedBy), report);
    }
    ReceiverWrites::change(context, report, holdings, changes, [&report, &plan] {
        report.summary = [&report] {
            return QStringLiteral("restore: sent %1 (%2), removed %3, in %4")
                    .arg(fileCount(report.sent.size()))
                    .arg(byteCount(report.bytes))
                    .arg(report.removed.size())
                    .arg(durationBegun(report.seconds()));
        };
        return plan.uploads; // read and checked before the port was opened
    });
    failIfLeftOut(plan);
}
