// Every option spiffs-emulator takes, in one table: the parser, --help and
// the manual page's OPTIONS section are made from it. Adding an option is
// one row here and its use in EngineOptions.
#ifndef OPTIONTABLE_H
#define OPTIONTABLE_H

#include "engineoptions.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <optional>
#include <vector>

struct EmulatorOptionRow
{
    const char *shortName; // "" when there is none
    const char *longName;
    const char *valueName; // "" for a flag; --help shows it as <folder>
    QString help;          // what --help says; <folder> stands for the value
    QString manual;        // what the manual page says, when more than the help
    bool withReplay;       // may be given with --replay
    // Puts the values given (each one, in the order given; none for a flag)
    // into the options. Returns what the option takes when a value does not
    // fit ("a whole number from 1 to 60000"), else an empty string. None for
    // --help and --version, which only print.
    QString (*store)(const QStringList &values, EngineOptions &options);
};

// In the order --help lists them.
const std::vector<EmulatorOptionRow> &emulatorOptionTable();

// The application's description at the top of --help.
QString emulatorDescription();

// An option's entries, the help's or the manual's text, as troff running
// text: <value> in italics and upper case, --options in bold, "quotes" as
// typographic quotes, `words` in bold and *words* in italics; a blank line
// starts a paragraph under the same tag.
QString troffText(const QString &text);

// The page's OPTIONS section: a tagged paragraph for each row, the options
// that set something first, --help and --version last.
QString manualOptions();

// The line of the page's source that stands for the OPTIONS section.
inline constexpr char OptionsMarker[] = "@OPTIONS@";
// The page's source with that line replaced; none when it lacks the line.
std::optional<QString> emulatorManualPage(const QString &source);

#endif // OPTIONTABLE_H
