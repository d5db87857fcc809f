// rm, format, run and reboot: the receiver's own commands.
#include "clisession.h"
#include "commands.h"
#include "console.h"
#include "devicenames.h"
#include "namepattern.h"

#include "core/commandformat.h"
#include "core/devicesession.h"

#include <QtCore/QJsonObject>

#include <algorithm>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace {
// Erasing a whole flash takes the receiver a while, whatever --timeout says.
constexpr int FormatLeastTimeoutMs = 120000;
} // namespace

int runRm(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    output.keepDoneList();
    if (const int status = session.open())
        return status;
    int failed = ExitDone;
    const std::optional<QVector<ListingEntry>> listing = session.listing(QStringLiteral("rm"), &failed);
    if (!listing)
        return failed;
    // Every argument must stand for a file before anything is removed.
    QStringList unmatched;
    const QVector<ListingEntry> targets = DeviceNames::selectAll(context.line.arguments, *listing, &unmatched);
    for (const QString &argument : std::as_const(unmatched)) {
        failed = output.fail(Failure::NoSuchFile, NamePattern::isPattern(DeviceNames::fromUser(argument))
                                                          ? QStringLiteral("rm: no file matches %1; nothing removed").arg(argument)
                                                          : QStringLiteral("rm: no such file: %1; nothing removed").arg(argument));
    }
    if (failed)
        return failed;
    if (targets.size() > 1) {
        QVector<QByteArray> names;
        QStringList texts;
        for (const ListingEntry &entry : targets) {
            names << entry.name;
            texts << deviceNameText(entry.name);
        }
        const QString count = QString::number(targets.size());
        const Erasure erasure{QStringLiteral("Remove %1 files from the receiver (%2)?").arg(count, shownNames(names)),
                              QStringLiteral("rm: %1 files would be removed: %2").arg(count, shownNames(names)),
                              QStringLiteral("nothing removed"), texts};
        if (const int status = confirmErasure(context, erasure))
            return status;
    }

    for (const ListingEntry &entry : targets) {
        const OwnedReply reply(session.device().remove(entry.name));
        if (!session.await(reply.get()))
            return session.failure(reply.get(), QStringLiteral("rm %1").arg(shownName(entry.name)));
        output.addDone(deviceNameText(entry.name));
        output.note(QStringLiteral("rm: removed %1").arg(shownName(entry.name)));
    }
    return ExitDone;
}

int checkRm(const CommandContext &context)
{
    // More than one file, whatever the receiver holds: a script learns it
    // before anything of the chain is done. First in the chain, rm's own
    // turn comes before any change, and the listing then names each file.
    if (context.line.chainIndex == 0 || !DeviceNames::severalFiles(context.line.arguments))
        return ExitDone;
    const QString typed = context.line.arguments.join(QStringLiteral(", "));
    return refuseUnconfirmed(context, Erasure{QString(), QStringLiteral("rm: %1 are more than one file").arg(typed),
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

int checkFormat(const CommandContext &context)
{
    return refuseUnconfirmed(context, formatErasure());
}

int runFormat(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    if (const int status = confirmErasure(context, formatErasure()))
        return status;
    if (const int status = session.open())
        return status;
    DeviceSession &device = session.device();
    if (device.timeout() > 0)
        device.setTimeout(std::max(device.timeout(), FormatLeastTimeoutMs));
    const OwnedReply reply(device.format());
    if (!session.await(reply.get()))
        return session.failure(reply.get(), QStringLiteral("format"));
    output.result().insert(QStringLiteral("erased"), true);
    output.note(QStringLiteral("format: every file on the receiver erased"));
    return ExitDone;
}

int checkRun(const CommandContext &context)
{
    const QString &argument = context.line.arguments.constFirst();
    context.output.result().insert(QStringLiteral("name"), DeviceNames::fromUser(argument));
    if (CommandFormat::executable(DeviceNames::bytesFromUser(argument)))
        return ExitDone;
    return context.output.fail(Failure::Refused, QStringLiteral("run %1: the receiver opens files by their type, and this "
                                                                "name has none")
                                                         .arg(argument));
}

int runRun(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    const QString &argument = context.line.arguments.constFirst();
    const QByteArray name = DeviceNames::bytesFromUser(argument);
    if (const int status = checkRun(context))
        return status;
    if (const int status = session.open())
        return status;
    // The receiver answers a missing file as one it does not open; the
    // listing tells the two apart.
    int failed = ExitDone;
    const std::optional<QVector<ListingEntry>> listing = session.listing(QStringLiteral("run"), &failed);
    if (!listing)
        return failed;
    if (!DeviceNames::find(argument, *listing))
        return output.fail(Failure::NoSuchFile, QStringLiteral("run: no such file: %1").arg(argument));
    const OwnedReply reply(session.device().execute(name));
    if (!session.await(reply.get()))
        return session.failure(reply.get(), QStringLiteral("run %1").arg(argument));
    output.result().insert(QStringLiteral("opened"), true);
    return ExitDone;
}

int runReboot(const CommandContext &context)
{
    CliSession &session = context.session;
    if (const int status = session.open())
        return status;
    const OwnedReply reply(session.device().reboot());
    if (!session.await(reply.get()))
        return session.failure(reply.get(), QStringLiteral("reboot"));
    context.output.result().insert(QStringLiteral("restarted"), true);
    return ExitDone;
}
