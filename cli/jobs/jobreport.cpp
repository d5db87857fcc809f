#include "cli/jobs/jobreport.h"

#include "cli/line/commandline.h"
#include "cli/output/console.h"
#include "cli/names/devicenames.h"
#include "cli/output/shownfigures.h"

#include <QtCore/QCryptographicHash>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

JobReport::JobReport(const CommandLine &line) : line(line)
{
    clock.start();
}

void JobReport::clear()
{
    keptManifest.clear();
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
    removed.append(shownName(name));
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
    return withName({{QStringLiteral("size"), size}}, name);
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
        fields.insert(QStringLiteral("keptManifest"), keptManifest.isEmpty() ? QJsonValue() : QJsonValue(keptManifest));
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
