// Every command spiffs-cli knows, in one table beside those of its options
// (line/options.h) and its failures (line/failures.h). The parser, the
// help, the manual, README's table of commands and the shell completions
// are all made from these tables. Adding a command takes its row here (name,
// synopsis, help, arguments, the options it takes by their long names,
// whether it uses the receiver) and its function, declared in
// commands/commands.h (or jobs/jobs.h) and written in the file of its kind;
// a check function too when something can be refused before the receiver
// is asked. Then README's table is written again (spiffs-cli-generate
// readme-commands), as a test insists.
#ifndef COMMANDTABLE_H
#define COMMANDTABLE_H

#include "cli/line/options.h"

#include <QtCore/QString>

#include <vector>

struct CommandContext;
using CommandHandler = void (*)(const CommandContext &);

struct CommandRow
{
    const char *name;
    const char *synopsis;
    const char *summary;
    const char *details;
    int leastArguments;
    int mostArguments; // -1: no limit
    const char *options; // the long names of its own options, "long human-readable"
    ValueKind arguments;  // what the completions offer for the arguments
    CommandHandler run;
    // What can be known before the receiver is asked (typed names, --yes),
    // checked for every command of a chain before the first runs; nullptr
    // when there is nothing to check.
    CommandHandler check;
    // How many of the arguments, from the first, are of the kind the
    // completions offer; -1: all. The rest are the receiver's names.
    int localArguments = -1;
    // Whether it talks to the receiver: the port is opened for it, once for
    // the chain, when it first needs the receiver (CliSession::device()).
    bool usesReceiver = true;

    bool owns(const OptionRow &option) const;
};
const std::vector<CommandRow> &commandTable();
const CommandRow *findCommand(const QString &name);

// The commands that take option, in table order: "rm, format or sync".
QString commandsOwning(const OptionRow &option);

#endif // COMMANDTABLE_H
