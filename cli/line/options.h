// Every option spiffs-cli takes, in one table: the parser, the help, the
// manual and the shell completions are made from it. An option is added
// with its row, which says where its value goes in the CommandLine, the
// member it fills; the commands that take it name it in their rows.
#ifndef OPTIONS_H
#define OPTIONS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

// What a value or an argument is, for the completions: a port, a local
// file or folder, or something they do not complete (a device name: that
// would open the port).
enum class ValueKind { None, Port, LocalFile, LocalFolder, Number, Shell };

struct CommandLine;

struct OptionRow
{
    const char *shortName; // "" when there is none
    const char *longName;
    const char *valueName; // "" for a flag
    ValueKind value;
    bool global;
    const char *help; // lines after the first are indented under it
    // Where it goes in the line: a flag sets flag, an option with a value
    // fills text.
    bool CommandLine::*flag = nullptr;
    QString CommandLine::*text = nullptr;
    // What the manual page says of it beyond the help, if anything.
    const char *details = "";

    bool is(const char *name) const;
};
const std::vector<OptionRow> &optionTable();
// The row of the option whose long name is name.
const OptionRow &optionNamed(const char *name);
// "--long", "--dry-run": the name a message gives the option.
QString optionDisplayName(const OptionRow &option);

// Every name an option is typed by: "-p", "--port"; "-h" too for
// --human-readable, which ls and df take so.
QStringList optionNames(const OptionRow &option);

// The help as one short line, for shells that show one beside each option:
// its first clause, never cut in the middle of a sentence or a parenthesis.
QString optionSummary(const OptionRow &option);

// The options of the whole run as the usage line shows them, the help's and
// the manual's alike: "-p PORT", "--timeout S", "-q", "--json", "--trace FILE".
QStringList usageOptions();

#endif // OPTIONS_H
