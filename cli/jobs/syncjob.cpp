// sync DIR: the receiver made to hold DIR's files, sending only what
// differs (by size, or with --checksum by content).
#include "cli/session/clisession.h"
#include "cli/jobs/jobs.h"
#include "cli/names/devicenames.h"
#include "cli/jobs/erasing.h"
#include "cli/output/jobprogress.h"
#include "cli/jobs/jobreport.h"
#include "cli/names/localfiles.h"
#include "cli/jobs/receiverwrites.h"
#include "cli/output/shownfigures.h"

#include "core/devicesession.h"
#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QFileInfo>
#include <QtCore/QSet>

#include <algorithm>

#include <optional>

using CatalogueFormat::ListingEntry;

namespace {

struct SyncPlan
{
    QVector<JobPlan::LocalFile> toSend;    // the receiver lacks them, or holds them at another size
    QVector<JobPlan::LocalFile> toCompare; // --checksum: the same size, content to be compared
    QVector<QByteArray> removals;          // --delete
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
    QVector<QByteArray> skippedFolders;
    for (const JobPlan::Skipped &skipped : tree.skipped) {
        skippedNames.insert((folder + skipped.name).toUtf8());
        if (skipped.deviceName.endsWith(QLatin1Char('/')))
            skippedFolders << skipped.deviceName.toUtf8();
        else if (!skipped.deviceName.isEmpty())
            skippedNames.insert(skipped.deviceName.toUtf8());
    }
    const auto underSkippedFolder = [&skippedFolders](const QByteArray &name) {
        return std::any_of(skippedFolders.cbegin(), skippedFolders.cend(),
                           [&name](const QByteArray &skipped) { return name.startsWith(skipped); });
    };
    for (const ListingEntry &entry : held) {
        if (!entry.name.startsWith(folder.toUtf8()))
            continue;
        if (!localNames.contains(entry.name) && !skippedNames.contains(entry.name) && !underSkippedFolder(entry.name))
            plan.removals << entry.name;
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
    const QString summary = QStringLiteral("would send %1 (%2), remove %3, compare %4 (%5, each sent too if it "
                                           "differs), skip %6: %7; nothing changed")
                                    .arg(fileCount(plan.toSend.size()))
                                    .arg(byteCount(sendBytes))
                                    .arg(plan.removals.size())
                                    .arg(plan.toCompare.size())
                                    .arg(byteCount(compareBytes))
                                    .arg(tree.skipped.size())
                                    .arg(timeOnTheLine(report.wireBytes));
    report.summary = [summary] { return summary; };
    if (!tree.skipped.isEmpty())
        throw CommandFailure(Failure::Incomplete, QStringLiteral("sync: %1 would be skipped").arg(fileCount(tree.skipped.size())));
}

// Local copies are read before the receiver is changed: a file that cannot
// be read, or changes meanwhile, stops the job with nothing sent.
QByteArray readSyncedFile(const JobPlan::LocalFile &file)
{
    QFile local;
    std::optional<QByteArray> content;
    if (openUploadFile(local, file.path))
        content = readUploadFile(local, file.size);
    if (!content) {
        throw CommandFailure(Failure::LocalFile,
                             QStringLiteral("sync: %1 cannot be read, or changed while it was read; nothing sent").arg(file.path));
    }
    return *content;
}

// --checksum: downloads each same-size file and moves those that differ to
// the files to send.
void compareContents(CliSession &session, SyncPlan &plan, JobReport &report)
{
    if (plan.toCompare.isEmpty())
        return;
    qint64 total = 0;
    for (const JobPlan::LocalFile &file : std::as_const(plan.toCompare))
        total += file.size;
    JobProgress progress(int(plan.toCompare.size()), total, session.showsProgress());
    for (const JobPlan::LocalFile &file : std::as_const(plan.toCompare)) {
        progress.startFile(file.deviceName + QStringLiteral(" (compare)"), file.size);
        const OwnedReply reply = session.answer(session.device().download(file.deviceName.toLatin1(), file.size),
                                                QStringLiteral("sync: comparing %1").arg(file.deviceName), progress);
        progress.endFile();
        report.bytes += file.size;
        // A failure ends the progress line with the progress's end.
        if (reply->content() == readSyncedFile(file))
            report.unchanged.append(file.deviceName);
        else
            plan.toSend << file;
    }
    progress.finish();
}

// What --delete removes, for its question: from the receiver, or under FOLDER.
QString removedFrom(const CommandLine &line, const QString &folder)
{
    const QString under = deviceFolder(line);
    return QStringLiteral("%1 that %2 lacks")
            .arg(under.isEmpty() ? QStringLiteral("from the receiver") : QStringLiteral("under %1").arg(under), folder);
}

// The files under DIR and the receiver's folder they go to; what is
// skipped is said, and counted against the job.
JobPlan::LocalTree scanLocalFolder(const CommandContext &context, const QString &folder, JobReport &report)
{
    const JobPlan::LocalTree tree = JobPlan::scanFolder(folder, deviceFolder(context.line));
    QVector<SourceAndName> sources;
    for (const JobPlan::LocalFile &file : tree.files) {
        sources << SourceAndName{file.name, file.deviceName.toLatin1()};
        // Cleaned as put cleans a name, and said as put says it.
        if (file.deviceName != deviceFolder(context.line) + file.name)
            context.output.note(QStringLiteral("sync: %1 is stored as %2").arg(file.name, file.deviceName));
    }
    refuseSharedNames(context.line.command, sources, Failure::LocalFile);
    for (const JobPlan::Skipped &skipped : tree.skipped) {
        report.skipped.append(QJsonObject{{QStringLiteral("name"), skipped.name}, {QStringLiteral("reason"), skipped.reason}});
        if (context.line.dryRun)
            report.lines << QStringLiteral("skip    %1  %2: %3").arg(QString(10, QLatin1Char(' ')), skipped.name, skipped.reason);
        else
            context.output.warn(QStringLiteral("sync: skipped %1: %2").arg(skipped.name, skipped.reason));
    }
    return tree;
}

} // namespace

void checkSync(const CommandContext &context)
{
    if (context.line.arguments.size() < 2)
        return;
    // The folder is part of every name sent: a name under it must be able to
    // exist at all. An empty one is most often a variable left unset, and
    // with --delete it would stand for the whole receiver.
    const QString typed = context.line.arguments.at(1);
    if (deviceFolder(context.line).isEmpty()) {
        throw CommandFailure(Failure::Usage, QStringLiteral("sync: the receiver's folder \"%1\" names no folder; leave "
                                                            "FOLDER out to fill the receiver's top")
                                                     .arg(typed));
    }
    QString problem;
    switch (TransferFormat::storableNameProblem(deviceFolder(context.line) + QStringLiteral("a.b"))) {
    case TransferFormat::NameProblem::None:
        return;
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
    throw CommandFailure(Failure::Usage, QStringLiteral("sync: the receiver's folder \"%1\" %2").arg(typed, problem));
}

void runSync(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    const QString folder = existingFolder(line.command, line.arguments.constFirst());
    JobReport &report = context.output.keepReport(std::make_unique<JobReport>(line));
    const JobPlan::LocalTree tree = scanLocalFolder(context, folder, report);
    context.output.showReport();
    const CliSession::Holdings holdings = session.memoryAndListing(QStringLiteral("sync"));
    SyncPlan plan = planSync(line, tree, holdings.entries, report);
    if (line.dryRun)
        return reportDryRun(plan, tree, report);
    compareContents(session, plan, report);
    ReceiverWrites::JobChanges changes{plan.removals, {}, plan.expected, QStringLiteral("the files to send need"),
                                       QStringLiteral("--delete"), removedFrom(line, folder)};
    for (const JobPlan::LocalFile &file : std::as_const(plan.toSend))
        changes.uploads.append({file.deviceName.toLatin1(), file.size});
    ReceiverWrites::change(context, report, holdings, changes, [&] {
        QVector<PlannedUpload> uploads;
        for (const JobPlan::LocalFile &file : std::as_const(plan.toSend))
            uploads << PlannedUpload{file.deviceName.toLatin1(), readSyncedFile(file)};
        report.summary = [&report, &line, skipped = tree.skipped.size()] {
            return QStringLiteral("sync: sent %1, removed %2, %3 unchanged%4, %5 skipped; %6 moved in %7")
                    .arg(fileCount(report.sent.size()))
                    .arg(report.removed.size())
                    .arg(report.unchanged.size())
                    .arg(line.checksum ? QStringLiteral(" (by content)") : QStringLiteral(" (by size)"))
                    .arg(skipped)
                    .arg(byteCount(report.bytes), durationBegun(report.seconds()));
        };
        return uploads;
    });
    if (!tree.skipped.isEmpty())
        throw CommandFailure(Failure::Incomplete, QStringLiteral("sync: %1 skipped (named above)").arg(fileCount(tree.skipped.size())));
}
