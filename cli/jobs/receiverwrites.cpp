#include "cli/jobs/receiverwrites.h"

#include "cli/names/devicenames.h"
#include "cli/jobs/erasing.h"
#include "cli/output/jobprogress.h"
#include "cli/jobs/jobreport.h"
#include "cli/output/progressmeter.h"

#include "core/devicesession.h"
#include "core/exchange.h"

#include <QtCore/QSet>

#include <algorithm>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace ReceiverWrites {

FlashRoom::Room roomFor(const CliSession::Holdings &holdings, const QVector<QByteArray> &removals,
                        const QVector<QPair<QByteArray, qint64>> &uploads)
{
    const QSet<QByteArray> removed(removals.cbegin(), removals.cend());
    QVector<qint64> removedSizes;
    QVector<ListingEntry> left;
    for (const ListingEntry &entry : holdings.entries) {
        if (removed.contains(entry.name))
            removedSizes << entry.size;
        else
            left << entry;
    }
    return FlashRoom::plan(holdings.memory, removedSizes, FlashRoom::uploadsOver(left, uploads));
}

QString roomText(const FlashRoom::Room &room, const QString &whatNeeds, const QString &freedBy)
{
    // In one pass: a name in whatNeeds may hold a "%1" of its own.
    return QStringLiteral("%1 up to %2 bytes of the receiver's room, which has %3 free%4")
            .arg(whatNeeds, QString::number(room.needed), QString::number(room.free),
                 room.freed > 0 ? QStringLiteral(" and %1 freed by %2").arg(QString::number(room.freed), freedBy) : QString());
}

namespace {

void checkRoom(const FlashRoom::Room &room, const QString &refusal)
{
    if (!room.fits())
        throw CommandFailure(Failure::Refused, refusal);
}

void upload(CliSession &session, const QByteArray &name, const QByteArray &content, const QString &subject)
{
    ProgressMeter meter(shownName(name), session.showsProgress());
    session.answer(session.device().upload(name, content), subject, &meter);
}

// Downloads name again and compares it with content; subject names a
// failed download, differs is the whole message when the copy differs.
void readBack(CliSession &session, const QByteArray &name, const QByteArray &content, const QString &subject,
              const QString &differs)
{
    ProgressMeter meter(shownName(name) + QStringLiteral(" (verify)"), session.showsProgress());
    const OwnedReply copy = session.answer(session.device().download(name, content.size()), subject, &meter);
    if (copy->content() != content)
        throw CommandFailure(Failure::Mismatch, differs);
}

} // namespace

void store(const CommandContext &context, const QVector<FileToStore> &files, bool verify, const StoreSteps &steps)
{
    CliSession &session = context.session;
    const QString &command = context.line.command;
    const CliSession::Holdings holdings = session.memoryAndListing(command);
    QVector<QPair<QByteArray, qint64>> sizes;
    for (const FileToStore &file : files)
        sizes.append({file.name, file.size});
    const FlashRoom::Room room = roomFor(holdings, {}, sizes);
    const FileToStore &first = files.constFirst();
    const QString refusal = files.size() == 1
                                    ? QStringLiteral("%1 %2: %3").arg(command, first.source, roomText(room, QStringLiteral("%1 bytes need").arg(first.size)))
                                    : QStringLiteral("%1: %2").arg(command, roomText(room, QStringLiteral("the files to send need")));
    checkRoom(room, refusal + QStringLiteral("; nothing sent"));

    for (const FileToStore &file : files) {
        const QByteArray content = file.read();
        upload(session, file.name, content, QStringLiteral("%1 %2").arg(command, file.source));
        steps.sent(file);
        if (!verify)
            continue;
        const QString name = shownName(file.name);
        readBack(session, file.name, content, QStringLiteral("%1 --verify %2").arg(command, name),
                 QStringLiteral("%1 %2: the receiver's copy of %3 differs from it").arg(command, file.source, name));
        steps.verified(file);
    }
}

void replace(const CommandContext &context, const Replacement &replacement)
{
    CliSession &session = context.session;
    const QString &command = context.line.command;
    const CliSession::Holdings holdings{session.memoryReport(replacement.memorySubject), session.listing(command)};
    const FlashRoom::Room room = roomFor(holdings, {}, {{replacement.name, replacement.content.size()}});
    checkRoom(room, QStringLiteral("%1: %2; %3").arg(command, roomText(room, replacement.needs), replacement.whereabouts));
    upload(session, replacement.name, replacement.content, replacement.subjects.upload);
    readBack(session, replacement.name, replacement.content, replacement.subjects.readBack, replacement.subjects.differs);
}

void remove(CliSession &session, const QByteArray &name, const std::function<QString(const DeviceReply &)> &subject)
{
    const OwnedReply removal(session.device().remove(name));
    if (!session.await(removal))
        throw session.failure(*removal, subject(*removal));
}

void remove(CliSession &session, const QByteArray &name, const QString &subject)
{
    remove(session, name, [&subject](const DeviceReply &) { return subject; });
}

void erase(CliSession &session)
{
    // Erasing a whole flash takes the receiver a while, whatever --timeout says.
    DeviceSession &device = session.device();
    if (device.timeout() > 0)
        device.setTimeout(std::max(device.timeout(), FormatSilenceMs));
    session.answer(device.format(), QStringLiteral("format"));
}

namespace {

void sendAll(const CommandContext &context, JobReport &report, const QVector<PlannedUpload> &uploads)
{
    CliSession &session = context.session;
    qint64 total = 0;
    for (const PlannedUpload &upload : uploads)
        total += upload.content.size();
    JobProgress progress(int(uploads.size()), total, session.showsProgress());
    for (const PlannedUpload &upload : uploads) {
        progress.startFile(shownName(upload.name), upload.content.size());
        session.answer(session.device().upload(upload.name, upload.content),
                       QStringLiteral("%1: sending %2").arg(context.line.command, shownName(upload.name)), progress);
        progress.endFile();
        report.sent.append(fileObject(upload.name, upload.content.size()));
        report.bytes += upload.content.size();
        report.lines << QStringLiteral("sent    %1  %2").arg(sizeColumn(upload.content.size()), shownName(upload.name));
    }
    progress.finish();
}

// One listing shows what the receiver now holds; contents are not read back.
void checkListing(const CommandContext &context, JobReport &report, const QVector<QByteArray> &removals,
                  const QVector<ListingEntry> &expected)
{
    const QString &command = context.line.command;
    CliSession &session = context.session;
    const OwnedReply listing =
            session.answer(session.device().requestListing(), QStringLiteral("%1: the closing listing").arg(command));
    const QHash<QByteArray, qint64> held = sizesByName(listing->entries());
    report.verifiedBy = QStringLiteral("name and size in the receiver's listing afterwards");
    QStringList problems;
    const auto differs = [&](const QByteArray &name, const QString &problem) {
        report.differences.append(withName({{QStringLiteral("problem"), problem}}, name));
        problems << QStringLiteral("%1: afterwards the receiver's %2 %3").arg(command, shownName(name), problem);
    };
    for (const ListingEntry &entry : expected) {
        if (!held.contains(entry.name))
            differs(entry.name, QStringLiteral("is missing"));
        else if (held.value(entry.name) != entry.size)
            differs(entry.name, QStringLiteral("holds %1 bytes, not %2").arg(held.value(entry.name)).arg(entry.size));
        else
            report.verified.append(shownName(entry.name));
    }
    for (const QByteArray &name : removals) {
        if (held.contains(name))
            differs(name, QStringLiteral("is still there"));
    }
    failIfAny(Failure::Incomplete, problems);
}

} // namespace

void change(const CommandContext &context, JobReport &report, const CliSession::Holdings &holdings,
            const JobChanges &changes, const std::function<QVector<PlannedUpload>()> &read)
{
    const QString &command = context.line.command;
    const FlashRoom::Room room = roomFor(holdings, changes.removals, changes.uploads);
    checkRoom(room, QStringLiteral("%1: %2; nothing sent").arg(command, roomText(room, changes.needs, changes.freedBy)));
    confirmRemovals(context, changes.removals, changes.which);
    const QVector<PlannedUpload> uploads = read();
    for (const QByteArray &name : changes.removals) {
        remove(context.session, name, QStringLiteral("%1: removing %2").arg(command, shownName(name)));
        report.removed.append(shownName(name));
        report.lines << QStringLiteral("removed %1  %2").arg(QString(10, QLatin1Char(' ')), shownName(name));
    }
    sendAll(context, report, uploads);
    checkListing(context, report, changes.removals, changes.expected);
}

} // namespace ReceiverWrites
