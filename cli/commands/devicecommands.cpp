// rm, format, run and reboot: the receiver's own commands.
#include "cli/session/clisession.h"
#include "cli/commands/commands.h"
#include "cli/names/devicenames.h"
#include "cli/jobs/erasing.h"
#include "cli/names/namepattern.h"
#include "cli/jobs/receiverwrites.h"

#include "core/commandformat.h"
#include "core/devicesession.h"
#include "core/exchange.h"

#include <QtCore/QJsonObject>

#include <algorithm>

using CatalogueFormat::ListingEntry;

namespace {

// Every file rm's arguments stand for; when one stands for none, nothing
// is removed.
QVector<ListingEntry> filesToRemove(const CommandContext &context)
{
    QStringList unmatched;
    const QVector<ListingEntry> targets =
            DeviceNames::selectAll(context.line.command, context.line.arguments, context.session.listing(QStringLiteral("rm")), &unmatched);
    QStringList problems;
    for (const QString &argument : std::as_const(unmatched)) {
        problems << (NamePattern::isPattern(DeviceNames::fromUser(argument))
                             ? QStringLiteral("rm: no file matches %1; nothing removed").arg(argument)
                             : QStringLiteral("rm: no such file: %1; nothing removed").arg(argument));
    }
    failIfAny(Failure::NoSuchFile, problems);
    return targets;
}

void confirmSeveral(const CommandContext &context, const QVector<ListingEntry> &targets)
{
    QVector<QByteArray> names;
    QStringList texts;
    for (const ListingEntry &entry : targets) {
        names << entry.name;
        texts << shownName(entry.name);
    }
    const QString count = QString::number(targets.size());
    confirmErasure(context, Erasure{QStringLiteral("Remove %1 files from the receiver (%2)?").arg(count, shownNames(names)),
                                    QStringLiteral("rm: %1 files would be removed: %2").arg(count, shownNames(names)),
                                    QStringLiteral("nothing removed"), texts});
}

} // namespace

void runRm(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    output.keepDoneList();
    // Every argument must stand for a file before anything is removed.
    const QVector<ListingEntry> targets = filesToRemove(context);
    if (targets.size() > 1)
        confirmSeveral(context, targets);
    for (const ListingEntry &entry : targets) {
        ReceiverWrites::remove(session, entry.name, QStringLiteral("rm %1").arg(shownName(entry.name)));
        output.addDone(shownName(entry.name));
        output.note(QStringLiteral("rm: removed %1").arg(shownName(entry.name)));
    }
}

void checkRm(const CommandContext &context)
{
    // More than one file, whatever the receiver holds: a script learns it
    // before anything of the chain is done. First in the chain, rm's own
    // turn comes before any change, and the listing then names each file.
    if (context.line.chainIndex == 0 || !DeviceNames::severalFiles(context.line.arguments))
        return;
    const QString typed = context.line.arguments.join(QStringLiteral(", "));
    refuseUnconfirmed(context, Erasure{QString(), QStringLiteral("rm: %1 are more than one file").arg(typed),
                                       QStringLiteral("nothing removed"), QStringList()});
}

namespace {

Erasure formatErasure()
{
    return Erasure{QStringLiteral("Erase every file on the receiver?"),
                   QStringLiteral("format: every file on the receiver would be erased"), QStringLiteral("nothing erased"),
                   QStringList()};
}

} // namespace

void checkFormat(const CommandContext &context)
{
    refuseUnconfirmed(context, formatErasure());
}

void runFormat(const CommandContext &context)
{
    confirmErasure(context, formatErasure());
    ReceiverWrites::erase(context.session);
    context.output.result().insert(QStringLiteral("erased"), true);
    context.output.note(QStringLiteral("format: every file on the receiver erased"));
}

void checkRun(const CommandContext &context)
{
    const QString &argument = context.line.arguments.constFirst();
    context.output.result().insert(QStringLiteral("name"), DeviceNames::fromUser(argument));
    if (!CommandFormat::executable(DeviceNames::bytesFromUser(argument))) {
        throw CommandFailure(Failure::Refused, QStringLiteral("run %1: the receiver opens files by their type, and this "
                                                              "name has none")
                                                       .arg(argument));
    }
}

void runRun(const CommandContext &context)
{
    CliSession &session = context.session;
    const QString &argument = context.line.arguments.constFirst();
    checkRun(context);
    // The receiver answers a missing file as one it does not open; the
    // listing tells the two apart.
    const std::optional<ListingEntry> file = DeviceNames::find(QStringLiteral("run"), argument, session.listing(QStringLiteral("run")));
    if (!file)
        throw CommandFailure(Failure::NoSuchFile, QStringLiteral("run: no such file: %1").arg(argument));
    session.answer(session.device().execute(file->name), QStringLiteral("run %1").arg(shownName(file->name)));
    context.output.result().insert(QStringLiteral("opened"), true);
}

void runReboot(const CommandContext &context)
{
    context.session.answer(context.session.device().reboot(), QStringLiteral("reboot"));
    context.output.result().insert(QStringLiteral("restarted"), true);
}
