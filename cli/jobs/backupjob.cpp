// backup DIR: every file of the receiver into DIR, and DIR/MANIFEST last.
// Nothing in DIR is deleted, and nothing is written through a link.
#include "cli/session/clisession.h"
#include "cli/jobs/jobs.h"
#include "cli/names/devicenames.h"
#include "cli/output/jobprogress.h"
#include "cli/jobs/jobreport.h"
#include "cli/jobs/manifest.h"
#include "cli/output/shownfigures.h"

#include "core/devicesession.h"
#include "core/localsave.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QFileInfo>
#include <QtCore/QSet>

#include <optional>

using CatalogueFormat::ListingEntry;

namespace {

QString key(const QString &path)
{
    return path.toCaseFolded();
}

// A staged file and the folders leading to it.
bool writeFile(const QString &path, const QByteArray &content, QString *error)
{
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *error = QStringLiteral("cannot make the folder %1").arg(QFileInfo(path).path());
        return false;
    }
    if (const QString problem = LocalSave::replace(path, content); !problem.isEmpty()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, problem);
        return false;
    }
    return true;
}

// Empties the staging folder. A link there goes, never what it leads to:
// the downloads must land inside DIR.
bool clearStaging(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        return QFile::remove(path);
    return !info.exists() || QDir(path).removeRecursively();
}

// The folders that making folder would create, deepest first: made for the
// first file, removed again when nothing was kept.
QStringList missingFolders(const QString &folder)
{
    QStringList missing;
    for (QString path = QDir::cleanPath(QDir(folder).absolutePath()); !QFileInfo(path).exists() && !QFileInfo(path).isSymLink();
         path = QFileInfo(path).path()) {
        missing << path;
        if (QFileInfo(path).isRoot())
            break;
    }
    return missing;
}

// What a MANIFEST in DIR records; none when there is none, it cannot be
// read, or a link stands in its place.
std::optional<Manifest::Contents> recordedBackup(const QDir &dir, const QString &name = QLatin1String(Manifest::FileName))
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (QFileInfo(path).isSymLink() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return Manifest::parse(file.readAll()).contents;
}

// The earlier backups kept beside MANIFEST (Manifest::keptName()), oldest
// first.
QStringList keptManifests(const QDir &dir)
{
    QStringList kept;
    for (const QString &name : dir.entryList({QStringLiteral("MANIFEST.*")}, QDir::Files, QDir::Name)) {
        if (Manifest::isKeptName(name))
            kept << name;
    }
    return kept;
}

// A backup that would list less than the one before (files the receiver
// no longer holds: a format, a removal, a flash gone bad) keeps the one
// before beside it, so DIR never becomes less restorable: the name it is
// kept under, or empty when the new one lists all it did.
QString keepPreviousAs(const QDir &dir, const std::optional<Manifest::Contents> &previous, const QVector<ListingEntry> &held)
{
    if (!previous)
        return QString();
    QSet<QByteArray> heldNames;
    for (const ListingEntry &entry : held)
        heldNames.insert(entry.name);
    const bool losesFiles = std::any_of(previous->entries.cbegin(), previous->entries.cend(), [&](const Manifest::Entry &entry) {
        return entry.saved() && !heldNames.contains(entry.name);
    });
    if (!losesFiles)
        return QString();
    for (int sequence = 1;; ++sequence) {
        const QString name = Manifest::keptName(previous->taken, sequence);
        if (!QFileInfo::exists(dir.filePath(name)) && !QFileInfo(dir.filePath(name)).isSymLink())
            return name;
    }
}

// The copies a kept MANIFEST names, which no new copy may replace: each
// earlier backup stays restorable.
QSet<QString> keptCopies(const QDir &dir, const QStringList &manifests)
{
    QSet<QString> copies;
    for (const QString &name : manifests) {
        const std::optional<Manifest::Contents> kept = recordedBackup(dir, name);
        for (const Manifest::Entry &entry : kept ? kept->entries : QVector<Manifest::Entry>())
            copies.insert(key(entry.path));
    }
    return copies;
}

// What DIR holds, as backupPaths() must avoid it: every entry but real
// folders and the previous backup's copies of names the receiver still
// holds, which the new copies may replace unless a kept MANIFEST names
// them (frozen). Links are entries like files: nothing goes into or
// through them.
struct Holdings
{
    QSet<QString> files;
    QSet<QString> folders;
};
Holdings localHoldings(const QDir &dir, const std::optional<Manifest::Contents> &previous, const QVector<ListingEntry> &held,
                       const QSet<QString> &frozen, const QString &keepAs)
{
    QSet<QByteArray> heldNames;
    for (const ListingEntry &entry : held)
        heldNames.insert(entry.name);
    QSet<QString> replaceable;
    for (const Manifest::Entry &entry : previous ? previous->entries : QVector<Manifest::Entry>()) {
        if (entry.saved() && heldNames.contains(entry.name) && !frozen.contains(key(entry.path)))
            replaceable.insert(key(entry.path));
    }
    Holdings holdings;
    const QString staging = key(QLatin1String(JobPlan::StagingFolder));
    QDirIterator found(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (found.hasNext()) {
        found.next();
        const QFileInfo info = found.fileInfo();
        const QString path = key(dir.relativeFilePath(found.filePath()));
        if (path == staging || path.startsWith(staging + QLatin1Char('/')) || path == key(QLatin1String(Manifest::FileName)))
            continue;
        if (info.isDir() && !info.isSymLink())
            holdings.folders.insert(path);
        else if (info.isSymLink() || !info.isFile() || !replaceable.contains(path))
            holdings.files.insert(path);
    }
    // The old MANIFEST's new name is taken too, before it is made.
    if (!keepAs.isEmpty())
        holdings.files.insert(key(keepAs));
    return holdings;
}

// Where each listed file goes in DIR, clear of what DIR holds.
QVector<QString> backupPaths(const QDir &dir, const std::optional<Manifest::Contents> &previous,
                             const QVector<ListingEntry> &entries, const QSet<QString> &frozen, const QString &keepAs)
{
    QVector<QByteArray> names;
    for (const ListingEntry &entry : entries)
        names << entry.name;
    const Holdings local = localHoldings(dir, previous, entries, frozen, keepAs);
    return JobPlan::backupPaths(names, local.files, local.folders);
}

// Where the new copies go: never a path in the way, never through a link.
bool checkTargets(const QDir &dir, const Manifest::Contents &contents, QString *error)
{
    for (const Manifest::Entry &entry : contents.entries) {
        if (!entry.saved())
            continue;
        const QFileInfo target(dir.filePath(entry.path));
        if (target.isSymLink() || target.isDir()) {
            const QString what = target.isSymLink() ? QStringLiteral("a link") : QStringLiteral("a folder");
            *error = QStringLiteral("%1 is in the way of %2").arg(what, target.filePath());
            return false;
        }
        for (QString folder = QFileInfo(entry.path).path(); folder != QLatin1String("."); folder = QFileInfo(folder).path()) {
            const QFileInfo step(dir.filePath(folder));
            if (step.isSymLink() || (step.exists() && !step.isDir())) {
                *error = QStringLiteral("%1 is in the way of the folder %2")
                                 .arg(step.isSymLink() ? QStringLiteral("a link") : QStringLiteral("a file"), step.filePath());
                return false;
            }
        }
    }
    return true;
}

// Moves a complete staged backup into place. Everything that could stop
// half-way is checked before the old MANIFEST goes (removed, or kept under
// keepAs); from then on DIR has no MANIFEST until the new one is written,
// last. Nothing else is removed.
bool placeBackup(const QDir &dir, const Manifest::Contents &contents, const QString &keepAs, QString *error)
{
    const QDir staging(dir.filePath(QLatin1String(JobPlan::StagingFolder)));
    if (!QDir().mkpath(dir.path())) {
        *error = QStringLiteral("cannot make the folder %1").arg(dir.path());
        return false;
    }
    if (!checkTargets(dir, contents, error))
        return false;
    const QString manifestPath = dir.filePath(QLatin1String(Manifest::FileName));
    if (!keepAs.isEmpty() && !QFile::rename(manifestPath, dir.filePath(keepAs))) {
        *error = QStringLiteral("cannot keep the old %1 as %2").arg(manifestPath, keepAs);
        return false;
    }
    if ((QFileInfo::exists(manifestPath) || QFileInfo(manifestPath).isSymLink()) && !QFile::remove(manifestPath)) {
        *error = QStringLiteral("cannot remove the old %1").arg(manifestPath);
        return false;
    }
    for (const Manifest::Entry &entry : contents.entries) {
        if (!entry.saved())
            continue;
        const QString target = dir.filePath(entry.path);
        if (!QDir().mkpath(QFileInfo(target).path()) || (QFileInfo::exists(target) && !QFile::remove(target))
            || !QFile::rename(staging.filePath(entry.path), target)) {
            *error = QStringLiteral("cannot move %1 into place").arg(target);
            return false;
        }
    }
    if (const QString problem = LocalSave::replace(manifestPath, Manifest::write(contents)); !problem.isEmpty()) {
        *error = QStringLiteral("cannot write %1: %2").arg(manifestPath, problem);
        return false;
    }
    QDir(staging).removeRecursively();
    return true;
}

// The earlier backups' files the new MANIFEST does not list, left where
// they are: the receiver may no longer hold them, and then they are the
// only copy.
QJsonArray keptFiles(const QDir &dir, const std::optional<Manifest::Contents> &previous, const Manifest::Contents &contents)
{
    QSet<QString> listed;
    for (const Manifest::Entry &entry : contents.entries)
        listed.insert(key(entry.path));
    QJsonArray kept;
    for (const Manifest::Entry &entry : previous ? previous->entries : QVector<Manifest::Entry>()) {
        const QFileInfo file(dir.filePath(entry.path));
        if (entry.saved() && !listed.contains(key(entry.path)) && (file.exists() || file.isSymLink()))
            kept.append(entry.path);
    }
    return kept;
}

} // namespace

namespace {

struct BackupRun
{
    Manifest::Contents contents;
    QStringList unrestorable; // named after the backup, with their reasons
};

// A name restore could not give back: kept when the receiver sends it.
void noteUnrestorable(const ListingEntry &entry, const QString &reason, const QString &path, bool received,
                      BackupRun &run, JobReport &report)
{
    const QString shown = shownName(entry.name);
    run.unrestorable << QStringLiteral("%1 (%2%3)").arg(shown.isEmpty() ? QStringLiteral("\"\"") : shown, reason,
                                                        received ? QStringLiteral("; kept as ") + path
                                                                 : QStringLiteral("; the receiver would not send it"));
    report.notRestorable.append(withName({{QStringLiteral("reason"), reason},
                                          {QStringLiteral("path"), received ? QJsonValue(path) : QJsonValue()}},
                                         entry.name));
}

// Downloads one file into the staging folder and records it.
void stageFile(CliSession &session, const ListingEntry &entry, const QString &path, const QDir &staging,
               JobProgress &progress, BackupRun &run, JobReport &report)
{
    const QString shown = shownName(entry.name);
    const QString reason = JobPlan::unrestorableReason(entry.name);
    progress.startFile(shown, entry.size);
    const OwnedReply reply(session.device().download(entry.name, entry.size));
    const bool received = session.await(reply, progress);
    if (!received && (reason.isEmpty() || reply->error() != DeviceReply::RefusedError))
        throw session.failure(*reply, QStringLiteral("backup %1").arg(shown));
    const QByteArray content = reply->content();
    progress.endFile();
    if (!reason.isEmpty())
        noteUnrestorable(entry, reason, path, received, run, report);
    if (!received) {
        run.contents.entries << Manifest::Entry{entry.size, QByteArray(), entry.name, QString(), false};
        return;
    }
    if (content.size() != qint64(entry.size)) {
        throw CommandFailure(Failure::BadReply, QStringLiteral("backup %1: the listing said %2 bytes, the download brought %3")
                                                        .arg(shown, QString::number(entry.size),
                                                             QString::number(content.size())));
    }
    QString error;
    if (!writeFile(staging.filePath(path), content, &error))
        throw CommandFailure(Failure::LocalFile, QStringLiteral("backup: ") + error);
    run.contents.entries << Manifest::Entry{content.size(), sha256(content), entry.name, path, reason.isEmpty()};
    report.received.append(withName({{QStringLiteral("size"), content.size()}, {QStringLiteral("path"), path}}, entry.name));
    report.verified.append(shownName(entry.name));
    report.bytes += content.size();
    const bool renamed = path != CatalogueFormat::deviceNameText(entry.name);
    report.lines << QStringLiteral("saved   %1  %2%3")
                            .arg(sizeColumn(content.size()), shown, renamed ? QStringLiteral("  as ") + path : QString());
}

// Every listed file into the staging folder, and then into place.
void stageAndPlace(const CommandContext &context, const QDir &dir, const CliSession::Holdings &holdings, BackupRun &run,
                   JobReport &report)
{
    CliSession &session = context.session;
    const std::optional<Manifest::Contents> previous = recordedBackup(dir);
    const QVector<ListingEntry> &entries = holdings.entries;
    qint64 total = 0;
    for (const ListingEntry &entry : entries)
        total += entry.size;
    const QString keepAs = keepPreviousAs(dir, previous, entries);
    QSet<QString> frozen = keptCopies(dir, keptManifests(dir));
    if (!keepAs.isEmpty()) {
        for (const Manifest::Entry &entry : previous->entries)
            frozen.insert(key(entry.path));
    }
    const QVector<QString> paths = backupPaths(dir, previous, entries, frozen, keepAs);
    const QDir staging(dir.filePath(QLatin1String(JobPlan::StagingFolder)));
    // What an earlier run left there is not known to be whole.
    if (!clearStaging(staging.path()))
        throw CommandFailure(Failure::LocalFile, QStringLiteral("backup: cannot empty %1").arg(staging.path()));
    JobProgress progress(int(entries.size()), total, session.showsProgress());
    // A failure ends the progress line with the progress's end.
    for (int i = 0; i < entries.size(); ++i)
        stageFile(session, entries.at(i), paths.at(i), staging, progress, run, report);
    progress.finish();
    report.verifiedBy = QStringLiteral("bytes received against the listing's size; the SHA-256 is of what arrived");
    if (session.interrupted()) {
        context.output.warn(QStringLiteral("backup: the folder is as it was"));
        throw CliSession::interruption();
    }
    QString error;
    if (!placeBackup(dir, run.contents, keepAs, &error))
        throw CommandFailure(Failure::LocalFile, QStringLiteral("backup: ") + error);
    report.kept = keptFiles(dir, previous, run.contents);
    report.keptManifest = keepAs;
}

// The summary, and the names that cannot go back.
void finishBackup(const CommandContext &context, const QDir &dir, const BackupRun &run, JobReport &report)
{
    const QString summary = QStringLiteral("backup: %1, %2, and %3 in %4")
                                    .arg(fileCount(report.received.size()), byteCount(report.bytes),
                                         QDir::toNativeSeparators(dir.filePath(QLatin1String(Manifest::FileName))),
                                         durationBegun(report.seconds()));
    const QString kept = report.kept.isEmpty() ? QString()
                                               : QStringLiteral("; %1 of earlier backups kept in %2, not in the new MANIFEST")
                                                         .arg(fileCount(report.kept.size()), QDir::toNativeSeparators(dir.path()));
    const QString keptManifest = report.keptManifest.isEmpty()
                                         ? QString()
                                         : QStringLiteral("; the MANIFEST before, which lists more, is kept as %1 (restore "
                                                          "--manifest %1 puts it back)")
                                                   .arg(report.keptManifest);
    report.summary = [text = summary + kept + keptManifest] { return text; };
    if (run.unrestorable.isEmpty())
        return;
    for (const QString &file : run.unrestorable)
        context.output.warn(QStringLiteral("backup: not restorable: %1").arg(file));
    throw CommandFailure(Failure::Incomplete, QStringLiteral("backup: %1 cannot be restored from this backup (named "
                                                             "above); MANIFEST records them, and restore gives back "
                                                             "the others")
                                                      .arg(fileCount(run.unrestorable.size())));
}

} // namespace

void runBackup(const CommandContext &context)
{
    CliSession &session = context.session;
    const QString folder = context.line.arguments.constFirst();
    if (QFileInfo::exists(folder) && !QFileInfo(folder).isDir())
        throw CommandFailure(Failure::LocalFile, QStringLiteral("backup: %1 is not a folder").arg(folder));
    const QDir dir(folder);
    const QStringList made = missingFolders(folder);
    JobReport &report = context.output.keepReport(std::make_unique<JobReport>(context.line));
    context.output.showReport();
    const CliSession::Holdings holdings = session.memoryAndListing(QStringLiteral("backup"));

    BackupRun run;
    run.contents.taken = QDateTime::currentDateTimeUtc();
    run.contents.totalBytes = holdings.memory.totalBytes;
    run.contents.usedBytes = holdings.memory.usedBytes;
    try {
        stageAndPlace(context, dir, holdings, run, report);
    } catch (const CommandFailure &) {
        // Nothing downloaded is kept, so nothing is reported as received,
        // and the folders made for it go too.
        clearStaging(dir.filePath(QLatin1String(JobPlan::StagingFolder)));
        for (const QString &path : made) {
            if (!QDir().rmdir(path))
                break;
        }
        report.clear();
        throw;
    }
    finishBackup(context, dir, run, report);
}
