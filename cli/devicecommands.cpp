// rm, format, run and reboot: the receiver's own commands.
#include "clisession.h"
#include "clitext.h"
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
        QStringList names;
        for (const ListingEntry &entry : targets)
            names << shownName(entry.name);
        const QString question = QStringLiteral("Remove %1 files from the receiver (%2)?")
                                         .arg(targets.size())
                                         .arg(names.join(QStringLiteral(", ")));
        if (const int status = confirmErasure(context, question, QStringLiteral("rm: nothing removed")))
            return status;
    }

    for (const ListingEntry &entry : targets) {
        DeviceReply *reply = session.device().remove(entry.name);
        if (!session.await(reply))
            return session.failure(reply, QStringLiteral("rm %1").arg(shownName(entry.name)));
        output.addDone(deviceNameText(entry.name));
        reply->deleteLater();
    }
    return ExitDone;
}

int runFormat(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    if (const int status = confirmErasure(context, QStringLiteral("Erase every file on the receiver?"),
                                          QStringLiteral("format: nothing erased"), true))
        return status;
    if (const int status = session.open())
        return status;
    DeviceSession &device = session.device();
    if (device.timeout() > 0)
        device.setTimeout(std::max(device.timeout(), FormatLeastTimeoutMs));
    DeviceReply *reply = device.format();
    if (!session.await(reply))
        return session.failure(reply, QStringLiteral("format"));
    output.result().insert(QStringLiteral("erased"), true);
    output.note(QStringLiteral("format: every file on the receiver erased"));
    return ExitDone;
}

int runRun(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    const QString &argument = context.line.arguments.constFirst();
    const QByteArray name = DeviceNames::bytesFromUser(argument);
    output.result().insert(QStringLiteral("name"), QString::fromUtf8(name));
    if (!CommandFormat::executable(name)) {
        return output.fail(Failure::Refused, QStringLiteral("run %1: the receiver opens files by their type, and this "
                                                            "name has none")
                                                     .arg(argument));
    }
    if (const int status = session.open())
        return status;
    DeviceReply *reply = session.device().execute(name);
    if (!session.await(reply))
        return session.failure(reply, QStringLiteral("run %1").arg(argument));
    output.result().insert(QStringLiteral("opened"), true);
    return ExitDone;
}

int runReboot(const CommandContext &context)
{
    CliSession &session = context.session;
    if (const int status = session.open())
        return status;
    DeviceReply *reply = session.device().reboot();
    if (!session.await(reply))
        return session.failure(reply, QStringLiteral("reboot"));
    context.output.result().insert(QStringLiteral("restarted"), true);
    return ExitDone;
}
