#include "clitool.h"

#include "clisession.h"
#include "commandline.h"
#include "console.h"

int runCli(const QStringList &arguments)
{
    const CommandLine line = parseCommandLine(arguments);
    if (line.version) {
        Console::printLine(QStringLiteral("spiffs-cli ") + QStringLiteral(SPIFFS_VERSION));
        return ExitDone;
    }
    if (line.help) {
        Console::writeData(helpText(line.command).toLocal8Bit());
        return ExitDone;
    }
    if (!line.error.isEmpty()) {
        Console::printError(line.error);
        Console::printStatus(QStringLiteral("Try 'spiffs-cli --help'.\n"));
        return ExitUsage;
    }
    CliSession session(line);
    return line.spec->run(CommandContext{line, session});
}
