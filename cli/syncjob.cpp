// sync DIR: the receiver made to hold DIR's files, sending only what
// differs (by size, or with --checksum by content).
#include "clisession.h"
#include "commands.h"
#include "console.h"
#include "devicenames.h"
#include "jobprogress.h"
#include "jobreport.h"
#include "progressmeter.h"
#include "shownfigures.h"

#include "core/devicesession.h"
#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QFileInfo>
#include <QtCore/QSet>

#include <optional>

using CatalogueFormat::ListingEntry;

namespace {

struct SyncPlan
{
    QVector<JobPlan::LocalFile> toSend;    // the receiver lacks them, or holds them at another size
    QVector<JobPlan::LocalFile> toCompare; // --checksum: the same size, content to be compared
    QVector<QByteArray> removals;          // --delete
    QVector<qint64> removedSizes;
    QVector<ListingEntry> expected; // what the listing must show afterwards
};

// FOLDER of sync DIR FOLDER: "presets/", or empty for the receiver's top.
QString deviceFolder(const CommandLine &line)
{
    return line.arguments.size() > 1 ? DeviceNames::folderOf(line.arguments.at(1)) : QString();
}

SyncPlan planSync(const CommandLine &line, const JobPlan::LocalTree &tree, const QVector<ListingEntry> &held,
                  JobReport &report)
{
    SyncPlan plan;
    const QHash<QByteArray, qint64> heldSizes = sizesByName(held);
    QSet<QByteArray> localNames;
    for (const JobPlan::LocalFile &file : tree.files) {
        const QByteArray name = file.deviceName.toLatin1();
        localNames.insert(name);
        plan.expected << ListingEntry{name, quint32(file.size)};
        if (!heldSizes.contains(name) || heldSizes.value(name) != file.size)
            plan.toSend << file;
        else if (line.checksum)
            plan.toCompare << file;
        else
            report.unchanged.append(file.deviceName);
    }
    if (!line.deleteExtra)
        return plan;
    // A name DIR holds but could not send is no reason to remove it, and
    // nothing outside the folder filled is DIR's to judge.
    const QString folder = deviceFolder(line);
    QSet<QByteArray> skippedNames;
    for (const JobPlan::Skipped &skipped : tree.skipped)
        skippedNames.insert((folder + skipped.name).toUtf8());
    for (const ListingEntry &entry : held) {
        if (!entry.name.startsWith(folder.toUtf8()))
            continue;
        if (!localNames.contains(entry.name) && !skippedNames.contains(entry.name)) {
            plan.removals << entry.name;
            plan.removedSizes << entry.size;
        }
    }
    return plan;
}

void reportDryRun(const SyncPlan &plan, const JobPlan::LocalTree &tree, JobReport &report)
{
    qint64 sendBytes = 0;
    qint64 compareBytes = 0;
    for (const QByteArray &name : plan.removals)
        report.planRemoval(name);
    for (const JobPlan::LocalFile &file : plan.toCompare) {
        report.lines << QStringLiteral("compare %1  %2").arg(sizeColumn(file.size), file.deviceName);
        report.wireBytes += JobPlan::downloadWireBytes(file.deviceName.toLatin1(), file.size);
        compareBytes += file.size;
    }
    for (const JobPlan::LocalFile &file : plan.toSend) {
        report.planUpload(file.deviceName.toLatin1(), file.size);
        sendBytes += file.size;
    }
    report.bytes = sendBytes + compareBytes;
    report.summary = QStringLiteral("would send %1 (%2), remove %3, compare %4 (%5, each sent too if it "
                                    "differs), skip %6: %7; nothing changed")
                             .arg(fileCount(plan.toSend.size()))
                             .arg(byteCount(sendBytes))
                             .arg(plan.removals.size())
                             .arg(plan.toCompare.size())
                             .arg(byteCount(compareBytes))
                             .arg(tree.skipped.size())
                             .arg(timeOnTheLine(report.wireBytes));
}

// Local copies are read before the receiver is changed: a file that cannot
// be read, or changes meanwhile, stops the job with nothing sent.
std::optional<QByteArray> readSyncedFile(CommandOutput &output, const JobPlan::LocalFile &file)
{
    QFile local;
    std::optional<QByteArray> content;
    if (openUploadFile(local, file.path))
        content = readUploadFile(local, file.size);
    if (!content)
        output.fail(Failure::LocalFile, QStringLiteral("sync: %1 cannot be read, or changed while it was read; nothing sent").arg(file.path));
    return content;
}

// --checksum: downloads each same-size file and moves those that differ to
// the files to send. ExitDone, or the failure's exit status.
int compareContents(CliSession &session, CommandOutput &output, SyncPlan &plan, JobReport &report)
{
    if (plan.toCompare.isEmpty())
        return ExitDone;
    qint64 total = 0;
    for (const JobPlan::LocalFile &file : std::as_const(plan.toCompare))
        total += file.size;
    JobProgress progress(int(plan.toCompare.size()), total, session.showsProgress());
    for (const JobPlan::LocalFile &file : std::as_const(plan.toCompare)) {
        progress.startFile(file.deviceName + QStringLiteral(" (compare)"), file.size);
        const OwnedReply reply(session.device().download(file.deviceName.toLatin1()));
        if (!session.await(reply.get(), progress))
            return session.failure(reply.get(), QStringLiteral("sync: comparing %1").arg(file.deviceName));
        progress.endFile();
        report.bytes += file.size;
        const std::optional<QByteArray> local = readSyncedFile(output, file);
        if (!local) {
            progress.finish();
            return ExitFailed;
        }
        if (reply->content() == *local)
            report.unchanged.append(file.deviceName);
        else
            plan.toSend << file;
    }
    progress.finish();
    return ExitDone;
}

// What --delete removes, for its question: from the receiver, or under FOLDER.
QString removedFrom(const CommandLine &line, const QString &folder)
{
    const QString under = deviceFolder(line);
    return QStringLiteral("%1 that %2 lacks")
            .arg(under.isEmpty() ? QStringLiteral("from the receiver") : QStringLiteral("under %1").arg(under), folder);
}

} // namespace

int checkSync(const CommandContext &context)
{
    if (context.line.arguments.size() < 2)
        return ExitDone;
    // The folder is part of every name sent: a name under it must be able to
    // exist at all.
    const QString folder = deviceFolder(context.line);
    const QString typed = context.line.arguments.at(1);
    QString problem;
    switch (TransferFormat::storableNameProblem(folder + QStringLiteral("a.b"))) {
    case TransferFormat::NameProblem::None:
        return ExitDone;
    case TransferFormat::NameProblem::Characters:
        problem = QStringLiteral("holds characters the receiver's names do not: only A-Z a-z 0-9 _ ' ( ) * + , - . "
                                 "and / are sent");
        break;
    case TransferFormat::NameProblem::Shape:
        problem = QStringLiteral("needs something before its first \".\"");
        break;
    case TransferFormat::NameProblem::Length:
        problem = QStringLiteral("leaves no room for a name under it in the receiver's %1 bytes")
                          .arg(TransferFormat::MaxDevicePathBytes - 1);
        break;
    }
    return context.output.fail(Failure::Usage, QStringLiteral("sync: the receiver's folder \"%1\" %2").arg(typed, problem));
}

int runSync(const CommandContext &context)
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
    const JobPlan::LocalTree tree = JobPlan::scanFolder(folder, deviceFolder(line));
    for (const JobPlan::Skipped &skipped : tree.skipped) {
        report.skipped.append(QJsonObject{{QStringLiteral("name"), skipped.name}, {QStringLiteral("reason"), skipped.reason}});
        if (line.dryRun)
            report.lines << QStringLiteral("skip    %1  %2: %3").arg(QString(10, QLatin1Char(' ')), skipped.name, skipped.reason);
        else
            output.warn(QStringLiteral("sync: skipped %1: %2").arg(skipped.name, skipped.reason));
    }
    const int finalStatus = tree.skipped.isEmpty() ? ExitDone : ExitFailed;

    if (const int status = session.open())
        return status;
    const std::optional<CliSession::Holdings> holdings = session.memoryAndListing(QStringLiteral("sync"), &failed);
    if (!holdings)
        return endJob(context, report, failed);

    SyncPlan plan = planSync(line, tree, holdings->entries, report);
    if (line.dryRun) {
        reportDryRun(plan, tree, report);
        if (finalStatus != ExitDone)
            output.fail(Failure::Incomplete, QStringLiteral("sync: %1 would be skipped").arg(fileCount(tree.skipped.size())));
        return endJob(context, report, finalStatus);
    }
    if (const int status = compareContents(session, output, plan, report))
        return endJob(context, report, status);

    const QHash<QByteArray, qint64> heldSizes = sizesByName(holdings->entries);
    QVector<JobPlan::Upload> sizes;
    for (const JobPlan::LocalFile &file : std::as_const(plan.toSend))
        sizes << plannedAgainst(heldSizes, file.deviceName.toLatin1(), file.size);
    const JobPlan::Room room = JobPlan::room(holdings->memory, plan.removedSizes, sizes);
    if (!room.fits()) {
        return endJob(context, report,
                      output.fail(Failure::Refused, QStringLiteral("sync: the files to send need up to %1 bytes of the "
                                                                   "receiver's room, which has %2 free%3; nothing sent")
                                                            .arg(room.needed)
                                                            .arg(room.free)
                                                            .arg(room.freed > 0 ? QStringLiteral(" and %1 freed by --delete").arg(room.freed)
                                                                                : QString())));
    }
    if (const int status = confirmRemovals(context, plan.removals, removedFrom(line, folder)))
        return endJob(context, report, status);
    QVector<PlannedUpload> uploads;
    for (const JobPlan::LocalFile &file : std::as_const(plan.toSend)) {
        const std::optional<QByteArray> content = readSyncedFile(output, file);
        if (!content)
            return endJob(context, report, ExitFailed);
        uploads << PlannedUpload{file.deviceName.toLatin1(), *content};
    }

    const int status = carryOut(context, report, plan.removals, uploads, plan.expected);
    report.summary = QStringLiteral("sync: sent %1, removed %2, %3 unchanged%4, %5 skipped; %6 moved in %7")
                             .arg(fileCount(report.sent.size()))
                             .arg(report.removed.size())
                             .arg(report.unchanged.size())
                             .arg(line.checksum ? QStringLiteral(" (by content)") : QStringLiteral(" (by size)"))
                             .arg(tree.skipped.size())
                             .arg(byteCount(report.bytes), durationBegun(report.seconds()));
    if (status == ExitDone && finalStatus != ExitDone) {
        return endJob(context, report, output.fail(Failure::Incomplete, QStringLiteral("sync: %1 skipped (named above)")
                                                                            .arg(fileCount(tree.skipped.size()))));
    }
    return endJob(context, report, status);
}
