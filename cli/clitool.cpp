#include "cli/clitool.h"

#include "cli/names/devicenames.h"
#include "cli/session/clisession.h"
#include "cli/output/commandoutput.h"
#include "cli/table/commandparser.h"
#include "cli/table/commandtable.h"
#include "cli/output/console.h"
#include "cli/texts/helptext.h"

namespace {

// Runs one of line's handlers; the one place a command's failure becomes
// what standard error, the exit status and the document say. A check that
// passes says nothing: the command itself has yet to run.
int runHandler(CliSession &session, const CommandLine &line, CommandHandler handler, bool check)
{
    CommandOutput output(line);
    session.beginCommand(output, line.row->usesReceiver);
    try {
        handler(CommandContext{line, session, output});
    } catch (const CommandFailure &failure) {
        return output.finish(failure);
    }
    if (check)
        return ExitDone;
    // A trace that ends short of the command is a record lost.
    if (const std::optional<CommandFailure> traceLost = session.traceFailure())
        return output.finish(*traceLost);
    return output.finish();
}

// Everything that can be known before the receiver is asked, for every
// command of the chain, before the first runs: a mistake in the last part
// must not leave the first part's removal done. ExitDone, or the status of
// the first problem, its document printed.
int checkChain(CliSession &session, const QVector<CommandLine> &lines)
{
    for (const CommandLine &line : lines) {
        if (!line.row->check)
            continue;
        if (const int status = runHandler(session, line, line.row->check, true))
            return status;
    }
    return ExitDone;
}

// A line the parser refused, its document printed.
int refuseUsage(const CommandLine &line)
{
    CommandFailure failure(Failure::Usage, line.error);
    failure.epilogue = QStringLiteral("Try 'spiffs-cli --help'.\n");
    return CommandOutput(line).finish(failure);
}

// A name changed on its way in would be some other name: a local file
// not found, or a receiver's file that only reads alike.
int refuseUndecodable(const CommandLine &line, const QVector<QByteArray> &undecodable)
{
    CommandLine refused = line;
    refused.error = QStringLiteral("%1 %2 %3 not UTF-8 and would reach spiffs-cli changed: give a local file a "
                                   "UTF-8 name; type a receiver's name as ls shows it")
                            .arg(undecodable.size() == 1 ? QStringLiteral("the argument") : QStringLiteral("the arguments"),
                                 shownNames(undecodable), undecodable.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    return refuseUsage(refused);
}

} // namespace

int runCli(const QStringList &arguments, const QVector<QByteArray> &undecodable)
{
    Console::ignoreBrokenPipe();
    if (arguments.size() <= 1) {
        Console::printStatus(helpText());
        return ExitUsage;
    }
    const QVector<CommandLine> lines = parseCommandChain(arguments);
    const CommandLine &first = lines.constFirst();
    if (lines.size() == 1 && first.version) {
        Console::printLine(QStringLiteral("spiffs-cli ") + QStringLiteral(SPIFFS_VERSION));
        return ExitDone;
    }
    if (lines.size() == 1 && first.help) {
        Console::writeData(helpText(first.command).toLocal8Bit());
        return ExitDone;
    }
    for (const CommandLine &line : lines) {
        if (!line.error.isEmpty())
            return refuseUsage(line);
    }
    if (!undecodable.isEmpty())
        return refuseUndecodable(first, undecodable);

    // One session for the whole chain: the port opens and settles once.
    CliSession session(first);
    if (const int status = checkChain(session, lines))
        return status;
    for (const CommandLine &line : lines) {
        if (const int status = runHandler(session, line, line.row->run, false))
            return status;
    }
    return ExitDone;
}
