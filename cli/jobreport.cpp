#include "jobreport.h"

#include "clisession.h"
#include "console.h"
#include "devicenames.h"
#include "jobprogress.h"
#include "shownfigures.h"

#include "core/devicesession.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QFileInfo>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

void JobReport::planRemoval(const QByteArray &name)
{
    removed.append(deviceNameText(name));
    lines << QStringLiteral("remove  %1  %2").arg(QString(10, QLatin1Char(' ')), shownName(name));
    wireBytes += JobPlan::removeWireBytes(name);
}

void JobReport::planUpload(const QByteArray &name, qint64 size)
{
    sent.append(fileObject(name, size));
    lines << QStringLiteral("send    %1  %2").arg(sizeColumn(size), shownName(name));
    wireBytes += JobPlan::uploadWireBytes(name, size);
}

QByteArray sha256(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256);
}

QJsonObject fileObject(const QByteArray &name, qint64 size)
{
    return {{QStringLiteral("name"), deviceNameText(name)}, {QStringLiteral("size"), size}};
}

QString sizeColumn(qint64 size)
{
    return QStringLiteral("%1").arg(size, 10);
}

QString timeOnTheLine(qint64 wireBytes)
{
    return QStringLiteral("%1 bytes on the line, about %2 at 115200 baud")
            .arg(wireBytes)
            .arg(durationBegun(JobPlan::wireSeconds(wireBytes)));
}

QHash<QByteArray, qint64> sizesByName(const QVector<ListingEntry> &entries)
{
    QHash<QByteArray, qint64> sizes;
    for (const ListingEntry &entry : entries)
        sizes.insert(entry.name, entry.size);
    return sizes;
}

JobPlan::Upload plannedAgainst(const QHash<QByteArray, qint64> &held, const QByteArray &name, qint64 size)
{
    const auto replaced = held.constFind(name);
    return JobPlan::Upload{size, replaced != held.cend() ? std::optional<qint64>(*replaced) : std::nullopt};
}

int confirmRemovals(const CommandContext &context, const QVector<QByteArray> &removals, const QString &which)
{
    if (removals.isEmpty())
        return ExitDone;
    const CommandLine &line = context.line;
    QStringList texts;
    for (const QByteArray &name : removals)
        texts << deviceNameText(name);
    const QString option = line.clean ? QStringLiteral("--clean") : QStringLiteral("--delete");
    const Erasure erasure{QStringLiteral("Remove %1 %2 (%3)?").arg(fileCount(removals.size()), which, shownNames(removals)),
                          QStringLiteral("%1 %2: %3 %4 would be removed: %5")
                                  .arg(line.command, option, fileCount(removals.size()), which, shownNames(removals)),
                          QStringLiteral("nothing sent or removed"), texts};
    return confirmErasure(context, erasure);
}

std::optional<QString> existingFolder(const CommandContext &context, int *status)
{
    const QString folder = context.line.arguments.constFirst();
    if (QFileInfo(folder).isDir())
        return folder;
    *status = context.output.fail(Failure::LocalFile,
                                  QStringLiteral("%1: no such folder: %2").arg(context.line.command, folder));
    return std::nullopt;
}

int endJob(const CommandContext &context, JobReport &report, int status)
{
    const CommandLine &line = context.line;
    const QString &command = line.command;
    if (line.json) {
        QJsonObject document{{QStringLiteral("dryRun"), line.dryRun},
                             {QStringLiteral("sent"), report.sent},
                             {QStringLiteral("removed"), report.removed},
                             {QStringLiteral("skipped"), report.skipped},
                             {QStringLiteral("verified"), report.verified},
                             {QStringLiteral("verifiedBy"), report.verifiedBy},
                             {QStringLiteral("differences"), report.differences},
                             {QStringLiteral("notRestorable"), report.notRestorable},
                             {QStringLiteral("bytes"), report.bytes},
                             {QStringLiteral("seconds"), report.seconds()}};
        if (command == QLatin1String("backup")) {
            document.insert(QStringLiteral("received"), report.received);
            document.insert(QStringLiteral("kept"), report.kept);
        }
        if (command == QLatin1String("sync")) {
            document.insert(QStringLiteral("unchanged"), report.unchanged);
            document.insert(QStringLiteral("unchangedBy"), line.checksum ? QStringLiteral("content") : QStringLiteral("size"));
        }
        if (line.dryRun) {
            document.insert(QStringLiteral("wireBytes"), report.wireBytes);
            document.insert(QStringLiteral("estimatedSeconds"), JobPlan::wireSeconds(report.wireBytes));
        }
        // Beside what the command said before (what would be removed).
        for (auto field = document.constBegin(); field != document.constEnd(); ++field)
            context.output.result().insert(field.key(), field.value());
        return status;
    }
    for (const QString &text : std::as_const(report.lines))
        Console::printLine(text);
    if (!report.summary.isEmpty())
        Console::printLine(report.summary);
    return status;
}

int carryOut(const CommandContext &context, JobReport &report, const QVector<QByteArray> &removals,
             const QVector<PlannedUpload> &uploads, const QVector<ListingEntry> &expected)
{
    const QString &command = context.line.command;
    CliSession &session = context.session;
    for (const QByteArray &name : removals) {
        const OwnedReply reply(session.device().remove(name));
        if (!session.await(reply.get()))
            return session.failure(reply.get(), QStringLiteral("%1: removing %2").arg(command, shownName(name)));
        report.removed.append(deviceNameText(name));
        report.lines << QStringLiteral("removed %1  %2").arg(QString(10, QLatin1Char(' ')), shownName(name));
    }

    qint64 total = 0;
    for (const PlannedUpload &upload : uploads)
        total += upload.content.size();
    JobProgress progress(int(uploads.size()), total, session.showsProgress());
    for (const PlannedUpload &upload : uploads) {
        progress.startFile(shownName(upload.name), upload.content.size());
        const OwnedReply reply(session.device().upload(upload.name, upload.content));
        if (!session.await(reply.get(), progress))
            return session.failure(reply.get(), QStringLiteral("%1: sending %2").arg(command, shownName(upload.name)));
        progress.endFile();
        report.sent.append(fileObject(upload.name, upload.content.size()));
        report.bytes += upload.content.size();
        report.lines << QStringLiteral("sent    %1  %2").arg(sizeColumn(upload.content.size()), shownName(upload.name));
    }
    progress.finish();

    // One listing shows what the receiver now holds; contents are not read back.
    const OwnedReply listing(session.device().requestListing());
    if (!session.await(listing.get()))
        return session.failure(listing.get(), QStringLiteral("%1: the closing listing").arg(command));
    const QHash<QByteArray, qint64> held = sizesByName(listing->entries());
    report.verifiedBy = QStringLiteral("name and size in the receiver's listing afterwards");
    const auto differs = [&](const QByteArray &name, const QString &problem) {
        report.differences.append(QJsonObject{{QStringLiteral("name"), deviceNameText(name)},
                                              {QStringLiteral("problem"), problem}});
        context.output.fail(Failure::Incomplete,
                            QStringLiteral("%1: afterwards the receiver's %2 %3").arg(command, shownName(name), problem));
    };
    for (const ListingEntry &entry : expected) {
        if (!held.contains(entry.name))
            differs(entry.name, QStringLiteral("is missing"));
        else if (held.value(entry.name) != entry.size)
            differs(entry.name, QStringLiteral("holds %1 bytes, not %2").arg(held.value(entry.name)).arg(entry.size));
        else
            report.verified.append(deviceNameText(entry.name));
    }
    for (const QByteArray &name : removals) {
        if (held.contains(name))
            differs(name, QStringLiteral("is still there"));
    }
    return report.differences.isEmpty() ? ExitDone : ExitFailed;
}
