// Every option spiffs-cli takes, in one table: the parser, the help, the
// manual and the shell completions are made from it.
#ifndef OPTIONS_H
#define OPTIONS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <initializer_list>
#include <vector>

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
    Manifest,
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

// Every name an option is typed by: "-p", "--port"; "-h" too for
// --human-readable, which ls and df take so.
QStringList optionNames(const OptionRow &option);

// The help as one short line, for shells that show one beside each option:
// its first clause, never cut in the middle of a sentence or a parenthesis.
QString optionSummary(const OptionRow &option);

// The options of the whole run as the usage line shows them, the help's and
// the manual's alike: "-p PORT", "--timeout S", "-q", "--json", "--trace FILE".
QStringList usageOptions();

// The bits CommandRow::ownOptions holds for options.
constexpr unsigned optionBits(std::initializer_list<OptionId> options)
{
    unsigned bits = 0;
    for (const OptionId option : options)
        bits |= 1u << unsigned(option);
    return bits;
}

#endif // OPTIONS_H
