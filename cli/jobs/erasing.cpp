#include "cli/jobs/erasing.h"

#include "cli/session/clisession.h"
#include "cli/output/console.h"
#include "cli/names/devicenames.h"
#include "cli/output/shownfigures.h"

#include "core/catalogueformat.h"

#include <QtCore/QJsonArray>

void refuseUnconfirmed(const CommandContext &context, const Erasure &erasure)
{
    if (context.line.yes || Console::isTerminal(stdin))
        return;
    if (!erasure.names.isEmpty())
        context.output.result().insert(QStringLiteral("wouldRemove"), QJsonArray::fromStringList(erasure.names));
    throw CommandFailure(Failure::Unconfirmed, QStringLiteral("%1; with no terminal to ask on, add --yes to go ahead; %2")
                                                       .arg(erasure.summary, erasure.nothingDone));
}

void confirmErasure(const CommandContext &context, const Erasure &erasure)
{
    if (context.line.yes)
        return;
    if (!Console::isTerminal(stdin))
        return refuseUnconfirmed(context, erasure);
    // Ctrl-C at the question ends the command as any interruption does,
    // its document included.
    Console::catchInterrupt();
    Console::printStatus(erasure.question + QStringLiteral(" [y/N] "));
    const QString answer = Console::readLine().toLower();
    if (Console::interrupted()) {
        Console::printStatus(QStringLiteral("\n"));
        throw CliSession::interruption();
    }
    if (answer != QLatin1String("y") && answer != QLatin1String("yes"))
        throw CommandFailure(Failure::Declined, QStringLiteral("%1: %2").arg(context.line.command, erasure.nothingDone));
}

void confirmRemovals(const CommandContext &context, const QVector<QByteArray> &removals, const QString &which)
{
    if (removals.isEmpty())
        return;
    const CommandLine &line = context.line;
    QStringList texts;
    for (const QByteArray &name : removals)
        texts << shownName(name);
    const QString option = line.clean ? QStringLiteral("--clean") : QStringLiteral("--delete");
    const Erasure erasure{QStringLiteral("Remove %1 %2 (%3)?").arg(fileCount(removals.size()), which, shownNames(removals)),
                          QStringLiteral("%1 %2: %3 %4 would be removed: %5")
                                  .arg(line.command, option, fileCount(removals.size()), which, shownNames(removals)),
                          QStringLiteral("nothing sent or removed"), texts};
    confirmErasure(context, erasure);
}
