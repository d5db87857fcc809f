// Every command spiffs-cli knows, every option it takes and every exit
// status it gives, each in one table. The parser, the help, the manual's
// synopsis and the shell completions are all made from these tables, so a
// command is added with one row and one function.
#ifndef COMMANDTABLE_H
#define COMMANDTABLE_H

#include <QtCore/QString>

#include <initializer_list>
#include <vector>

struct CommandContext;
using CommandHandler = int (*)(const CommandContext &);

enum ExitCode : int {
    ExitDone = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitPort = 3,
    ExitNoAnswer = 4,
    ExitMismatch = 5,
    ExitInterrupted = 130,
    ExitTerminated = 143,
};

// Every way a command can fail. The table gives each its exit status, the
// kind --json reports, and the words the help and the manual say it in.
enum class Failure {
    Usage,
    Unconfirmed,
    LocalFile,
    NoSuchFile,
    Refused,
    BadReply,
    Incomplete,
    Exists,
    Declined,
    Port,
    LineLost,
    NoAnswer,
    Mismatch,
    Interrupted,
    Terminated,
};

struct FailureRow
{
    Failure failure;
    const char *kind; // as --json names it
    ExitCode code;
    const char *meaning;
};
const std::vector<FailureRow> &failureTable();
const FailureRow &failureRow(Failure failure);

enum class OptionId {
    Port,
    Timeout,
    Quiet,
    Json,
    Trace,
    Help,
    Version,
    Long,
    Output,
    Verify,
    Yes,
    Clean,
    Delete,
    Checksum,
    DryRun,
    Force,
    HumanReadable,
};

// What a value or an argument is, for the completions: a port, a local
// file or folder, or something they do not complete (a device name: that
// would open the port).
enum class ValueKind { None, Port, LocalFile, LocalFolder, Number, Shell };

struct OptionRow
{
    OptionId id;
    const char *shortName; // "" when there is none
    const char *longName;
    const char *valueName; // "" for a flag
    ValueKind value;
    bool global;
    const char *help; // lines after the first are indented under it
};
const std::vector<OptionRow> &optionTable();
const OptionRow &optionRow(OptionId id);
// "--long", "--dry-run": the name a message gives the option.
QString optionDisplayName(const OptionRow &option);

struct CommandRow
{
    const char *name;
    const char *synopsis;
    const char *summary;
    const char *details;
    int leastArguments;
    int mostArguments; // -1: no limit
    unsigned ownOptions; // optionBits() of the command's own options
    ValueKind arguments;  // what the completions offer for the arguments
    CommandHandler run;
    // What can be known before the receiver is asked (typed names, --yes),
    // checked for every command of a chain before the first runs; nullptr
    // when there is nothing to check.
    CommandHandler check;

    bool owns(OptionId option) const { return ownOptions & (1u << unsigned(option)); }
};
constexpr unsigned optionBits(std::initializer_list<OptionId> options)
{
    unsigned bits = 0;
    for (const OptionId option : options)
        bits |= 1u << unsigned(option);
    return bits;
}
const std::vector<CommandRow> &commandTable();
const CommandRow *findCommand(const QString &name);

// The commands that take option, in table order: "rm, format or sync".
QString commandsOwning(OptionId option);

#endif // COMMANDTABLE_H
