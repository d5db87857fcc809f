// spiffs-cli's command line read against the tables of commandtable.h and
// options.h: global options, the command and its own options and
// arguments, and chains of commands.
#ifndef COMMANDPARSER_H
#define COMMANDPARSER_H

#include "cli/line/commandline.h"

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

// One command's line, the program's name first.
CommandLine parseCommandLine(const QStringList &arguments);

// Several commands on one line, each after a lone "+": the program's name
// first. Options that apply to the whole run (the port, the time-out, the
// trace, -q, --json) may stand in any part, and then hold for all.
QVector<CommandLine> parseCommandChain(const QStringList &arguments);

// The command a mistyped one most likely meant; empty when none is close.
QString nearestCommand(const QString &typed);

bool isCommand(const QString &name);

#endif // COMMANDPARSER_H
