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

JobReport::JobReport(const CommandLine &line) : line(line)
{
    clock.start();
}

void JobReport::clear()
{
    for (QJsonArray *list : {&sent, &received, &removed, &skipped, &unchanged, &verified, &differences, &notRestorable, &kept})
        *list = QJsonArray();
    verifiedBy.clear();
    bytes = 0;
    wireBytes = 0;
    lines.clear();
    summary = nullptr;
}

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

void JobReport::addTo(QJsonObject &document) const
{
    const QString &command = line.command;
    QJsonObject fields{{QStringLiteral("dryRun"), line.dryRun},
                       {QStringLiteral("sent"), sent},
                       {QStringLiteral("removed"), removed},
                       {QStringLiteral("skipped"), skipped},
                       {QStringLiteral("verified"), verified},
                       {QStringLiteral("verifiedBy"), verifiedBy},
                       {QStringLiteral("differences"), differences},
                       {QStringLiteral("notRestorable"), notRestorable},
                       {QStringLiteral("bytes"), bytes},
                       {QStringLiteral("seconds"), seconds()}};
    if (command == QLatin1String("backup")) {
        fields.insert(QStringLiteral("received"), received);
        fields.insert(QStringLiteral("kept"), kept);
    }
    if (command == QLatin1String("sync")) {
        fields.insert(QStringLiteral("unchanged"), unchanged);
        fields.insert(QStringLiteral("unchangedBy"), line.checksum ? QStringLiteral("content") : QStringLiteral("size"));
    }
    if (line.dryRun) {
        fields.insert(QStringLiteral("wireBytes"), wireBytes);
        fields.insert(QStringLiteral("estimatedSeconds"), JobPlan::wireSeconds(wireBytes));
    }
    // Beside what the command said before (what would be removed).
    for (auto field = fields.constBegin(); field != fields.constEnd(); ++field)
        document.insert(field.key(), field.value());
}

void JobReport::print() const
{
    for (const QString &text : lines)
        Console::printLine(text);
    if (summary)
        Console::printLine(summary());
}

void carryOut(const CommandContext &context, JobReport &report, const QVector<QByteArray> &removals,
              const QVector<PlannedUpload> &uploads, const QVector<ListingEntry> &expected)
{
    const QString &command = context.line.command;
    CliSession &session = context.session;
    for (const QByteArray &name : removals) {
        session.answer(session.device().remove(name), QStringLiteral("%1: removing %2").arg(command, shownName(name)));
        report.removed.append(deviceNameText(name));
        report.lines << QStringLiteral("removed %1  %2").arg(QString(10, QLatin1Char(' ')), shownName(name));
    }

    qint64 total = 0;
    for (const PlannedUpload &upload : uploads)
        total += upload.content.size();
    JobProgress progress(int(uploads.size()), total, session.showsProgress());
    for (const PlannedUpload &upload : uploads) {
        progress.startFile(shownName(upload.name), upload.content.size());
        session.answer(session.device().upload(upload.name, upload.content),
                       QStringLiteral("%1: sending %2").arg(command, shownName(upload.name)), progress);
        progress.endFile();
        report.sent.append(fileObject(upload.name, upload.content.size()));
        report.bytes += upload.content.size();
        report.lines << QStringLiteral("sent    %1  %2").arg(sizeColumn(upload.content.size()), shownName(upload.name));
    }
    progress.finish();

    // One listing shows what the receiver now holds; contents are not read back.
    const OwnedReply listing =
            session.answer(session.device().requestListing(), QStringLiteral("%1: the closing listing").arg(command));
    const QHash<QByteArray, qint64> held = sizesByName(listing->entries());
    report.verifiedBy = QStringLiteral("name and size in the receiver's listing afterwards");
    QStringList problems;
    const auto differs = [&](const QByteArray &name, const QString &problem) {
        report.differences.append(QJsonObject{{QStringLiteral("name"), deviceNameText(name)},
                                              {QStringLiteral("problem"), problem}});
        problems << QStringLiteral("%1: afterwards the receiver's %2 %3").arg(command, shownName(name), problem);
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
    failIfAny(Failure::Incomplete, problems);
}
