// backup DIR: every file of the receiver into DIR, and DIR/MANIFEST last.
#include "clisession.h"
#include "clitext.h"
#include "commands.h"
#include "console.h"
#include "jobprogress.h"
#include "jobreport.h"
#include "manifest.h"
#include "progressmeter.h"

#include "core/devicesession.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>
#include <QtCore/QSet>

#include <optional>

using CatalogueFormat::ListingEntry;

namespace {

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
        if (!entry.saved())
            continue;
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
        if (!entry.saved())
            continue;
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
            if (entry.saved() && !kept.contains(entry.path.toCaseFolded()) && QFile::remove(dir.filePath(entry.path)))
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

int runBackup(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    JobReport report;
    const QString folder = line.arguments.constFirst();
    if (!QDir().mkpath(folder))
        return output.fail(Failure::LocalFile, QStringLiteral("backup: cannot make the folder %1").arg(folder));
    const QDir dir(folder);
    std::optional<Manifest::Contents> previous;
    QFile previousFile(dir.filePath(QLatin1String(Manifest::FileName)));
    if (previousFile.open(QIODevice::ReadOnly))
        previous = Manifest::parse(previousFile.readAll()).contents;

    if (const int status = session.open())
        return status;
    int failed = ExitDone;
    const std::optional<CliSession::Holdings> holdings = session.memoryAndListing(QStringLiteral("backup"), &failed);
    if (!holdings)
        return endJob(context, report, failed);
    const QVector<ListingEntry> &entries = holdings->entries;

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
        report.notRestorable = QJsonArray();
        report.bytes = 0;
        report.lines.clear();
        return endJob(context, report, status);
    };

    Manifest::Contents contents;
    contents.taken = QDateTime::currentDateTimeUtc();
    contents.totalBytes = holdings->memory.totalBytes;
    contents.usedBytes = holdings->memory.usedBytes;
    QStringList unrestorable;
    JobProgress progress(int(entries.size()), total, session.showsProgress());
    for (int i = 0; i < entries.size(); ++i) {
        const ListingEntry &entry = entries.at(i);
        const QString shown = shownName(entry.name);
        // Kept if the receiver sends it, but restore could not give it back.
        const QString reason = JobPlan::unrestorableReason(entry.name);
        progress.startFile(shown, entry.size);
        DeviceReply *reply = session.device().download(entry.name);
        const bool received = session.await(reply, progress);
        if (!received && (reason.isEmpty() || reply->error() != DeviceReply::RefusedError))
            return abandon(session.failure(reply, QStringLiteral("backup %1").arg(shown)));
        const QByteArray content = reply->content();
        reply->deleteLater();
        if (!reason.isEmpty()) {
            unrestorable << QStringLiteral("%1 (%2%3)")
                                    .arg(shown.isEmpty() ? QStringLiteral("\"\"") : shown, reason,
                                         received ? QStringLiteral("; kept as ") + paths.at(i)
                                                  : QStringLiteral("; the receiver would not send it"));
            report.notRestorable.append(QJsonObject{{QStringLiteral("name"), CatalogueFormat::deviceNameText(entry.name)},
                                                    {QStringLiteral("reason"), reason},
                                                    {QStringLiteral("path"), received ? QJsonValue(paths.at(i)) : QJsonValue()}});
        }
        if (!received) {
            progress.endFile();
            contents.entries << Manifest::Entry{entry.size, QByteArray(), entry.name, QString(), false};
            continue;
        }
        progress.endFile();
        if (content.size() != qint64(entry.size)) {
            progress.finish();
            return abandon(output.fail(Failure::BadReply, QStringLiteral("backup %1: the listing said %2 bytes, the download brought %3")
                                                                  .arg(shown)
                                                                  .arg(entry.size)
                                                                  .arg(content.size())));
        }
        QString error;
        if (!writeFile(staging.filePath(paths.at(i)), content, &error)) {
            progress.finish();
            return abandon(output.fail(Failure::LocalFile, QStringLiteral("backup: ") + error));
        }
        contents.entries << Manifest::Entry{content.size(), sha256(content), entry.name, paths.at(i), reason.isEmpty()};
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
    if (session.interrupted()) {
        output.warn(QStringLiteral("backup: the folder is as it was"));
        return abandon(session.interruption());
    }

    QString error;
    if (!placeBackup(dir, contents, previous, &error))
        return abandon(output.fail(Failure::LocalFile, QStringLiteral("backup: ") + error));
    report.summary = QStringLiteral("backup: %1, %2, and %3 in %4")
                             .arg(fileCount(report.received.size()))
                             .arg(ProgressLine::byteCount(report.bytes),
                                  QDir::toNativeSeparators(dir.filePath(QLatin1String(Manifest::FileName))))
                             .arg(duration(report.seconds()));
    if (unrestorable.isEmpty())
        return endJob(context, report, ExitDone);
    for (const QString &file : std::as_const(unrestorable))
        output.warn(QStringLiteral("backup: not restorable: %1").arg(file));
    return endJob(context, report,
                  output.fail(Failure::Incomplete, QStringLiteral("backup: %1 cannot be restored from this backup (named "
                                                                  "above); MANIFEST records them, and restore gives back "
                                                                  "the others")
                                                           .arg(fileCount(unrestorable.size()))));
}
