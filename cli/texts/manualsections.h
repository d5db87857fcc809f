// The sections of spiffs-cli's manual page made from the tables of
// commandtable.h, options.h and failures.h at build time
// (spiffs-cli-generate), so that the manual, the help and the completions
// cannot drift apart; the rest of the page is written by hand in
// docs/man/spiffs-cli.1.in.
#ifndef MANUALSECTIONS_H
#define MANUALSECTIONS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <optional>

// The lines of the page's source that stand for generated sections.
inline constexpr char SynopsisMarker[] = "@SYNOPSIS@";
inline constexpr char CommandsMarker[] = "@COMMANDS@";
inline constexpr char ExitStatusMarker[] = "@EXIT_STATUS@";
inline constexpr char OptionsMarker[] = "@OPTIONS@";

// The manual page's source with each marker line replaced: the synopsis
// made from the options of the whole run, every command (its synopsis, its
// help, its own options), the options of the whole run (their help and
// what the manual says beyond it) and the exit statuses. None when a marker
// is missing.
std::optional<QString> manualPage(const QString &source);

// A command's synopsis, "get NAME|PATTERN|FOLDER... [-o DIR]", in the
// page's fonts: its name and options bold, the words it stands for italic.
QString synopsisInFonts(const QString &synopsis);

// README's table of commands, in Markdown: each command's synopsis and
// summary, as the help gives them. README holds it as it is.
QString readmeCommandTable();

#endif // MANUALSECTIONS_H
