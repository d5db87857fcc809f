// rm, format, run and reboot: the receiver's own commands.
#include "clisession.h"
#include "clitext.h"
#include "commands.h"
#include "console.h"
#include "namepattern.h"

#include "core/commandformat.h"
#include "core/devicesession.h"

#include <algorithm>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace {
// Erasing a whole flash takes the receiver a while, whatever --timeout says.
constexpr int FormatLeastTimeoutMs = 120000;
} // namespace

int runRm(const CommandContext &context)
{
    const QStringList &arguments = context.line.arguments;
    CliSession &session = context.session;
    if (const int status = session.open())
        return status;

    QVector<QByteArray> targets;
    const bool anyPattern = std::any_of(arguments.cbegin(), arguments.cend(), NamePattern::isPattern);
    QVector<ListingEntry> entries;
    if (anyPattern) {
        DeviceReply *listing = session.device().requestListing();
        if (!session.await(listing))
            return session.failure(listing, QStringLiteral("rm"));
        entries = listing->entries();
    }
    // Every pattern must match before anything is removed.
    for (const QString &argument : arguments) {
        if (!NamePattern::isPattern(argument)) {
            if (!targets.contains(argument.toUtf8()))
                targets << argument.toUtf8();
            continue;
        }
        bool matched = false;
        for (const ListingEntry &entry : std::as_const(entries)) {
            if (NamePattern::matches(argument, deviceNameText(entry.name))) {
                matched = true;
                if (!targets.contains(entry.name))
                    targets << entry.name;
            }
        }
        if (!matched) {
            Console::printError(QStringLiteral("rm: no file matches %1; nothing removed").arg(argument));
            return ExitFailed;
        }
    }

    for (const QByteArray &name : std::as_const(targets)) {
        DeviceReply *reply = session.device().remove(name);
        if (!session.await(reply))
            return session.failure(reply, QStringLiteral("rm %1").arg(shownName(name)));
        reply->deleteLater();
    }
    return ExitDone;
}

int runFormat(const CommandContext &context)
{
    CliSession &session = context.session;
    if (!context.line.yes) {
        if (!Console::isTerminal(stdin)) {
            Console::printError(QStringLiteral("format erases every file on the receiver; with no terminal to ask on, "
                                               "give --yes to go ahead"));
            return ExitUsage;
        }
        Console::printStatus(QStringLiteral("Erase every file on the receiver? Type yes to go ahead: "));
        if (Console::readLine().toLower() != QLatin1String("yes")) {
            Console::printError(QStringLiteral("format: nothing erased"));
            return ExitFailed;
        }
    }
    if (const int status = session.open())
        return status;
    DeviceSession &device = session.device();
    if (device.timeout() > 0)
        device.setTimeout(std::max(device.timeout(), FormatLeastTimeoutMs));
    DeviceReply *reply = device.format();
    if (!session.await(reply))
        return session.failure(reply, QStringLiteral("format"));
    return ExitDone;
}

int runRun(const CommandContext &context)
{
    CliSession &session = context.session;
    const QString &argument = context.line.arguments.constFirst();
    const QByteArray name = argument.toUtf8();
    if (!CommandFormat::executable(name)) {
        Console::printError(QStringLiteral("run %1: the receiver opens files by their type, and this name has none")
                                    .arg(argument));
        return ExitFailed;
    }
    if (const int status = session.open())
        return status;
    DeviceReply *reply = session.device().execute(name);
    if (!session.await(reply))
        return session.failure(reply, QStringLiteral("run %1").arg(argument));
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
    return ExitDone;
}
