#include "clitool.h"

#include "clisession.h"
#include "commandline.h"
#include "commandoutput.h"
#include "console.h"

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
