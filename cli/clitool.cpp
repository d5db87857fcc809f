#include "clitool.h"

#include "clisession.h"
#include "commandoutput.h"
#include "commandparser.h"
#include "commandtable.h"
#include "console.h"
#include "helptext.h"

namespace {

// Everything that can be known before the receiver is asked, for every
// command of the chain, before the first runs: a mistake in the last part
// must not leave the first part's removal done. ExitDone, or the status of
// the first problem, its document printed.
int checkChain(CliSession &session, const QVector<CommandLine> &lines)
{
    for (const CommandLine &line : lines) {
        if (!line.row->check)
            continue;
        CommandOutput output(line);
        session.beginCommand(output);
        if (const int status = line.row->check(CommandContext{line, session, output}))
            return output.finish(status);
    }
    return ExitDone;
}

} // namespace

int runCli(const QStringList &arguments)
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
        if (line.error.isEmpty())
            continue;
        CommandOutput output(line);
        output.fail(Failure::Usage, line.error);
        Console::printStatus(QStringLiteral("Try 'spiffs-cli --help'.\n"));
        return output.finish(ExitUsage);
    }

    // One session for the whole chain: the port opens and settles once.
    CliSession session(first);
    if (const int status = checkChain(session, lines))
        return status;
    int status = ExitDone;
    for (const CommandLine &line : lines) {
        CommandOutput output(line);
        session.beginCommand(output);
        status = output.finish(line.row->run(CommandContext{line, session, output}));
        if (status != ExitDone)
            break;
    }
    return status;
}
