// spiffs-cli's command line, read against the tables of commandtable.h:
// global options, the command and its own options and arguments, and the
// help for each.
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "commandtable.h"

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

struct CommandLine
{
    QString command;
    const CommandRow *row = nullptr; // the command's row of the table, once it is known
    QStringList arguments;             // what follows the command, options taken out
    int chainIndex = 0;                // its place in a chain of commands, from 0

    QString port;
    double timeoutSeconds = 5;
    bool timeoutGiven = false;
    bool quiet = false;
    bool json = false;
    QString traceFile;

    bool help = false;
    bool version = false;
    bool longListing = false; // ls -l
    QString outputFolder;     // get -o
    bool verify = false;      // put --verify
    bool yes = false;         // format --yes
    bool clean = false;       // restore --clean
    bool deleteExtra = false; // sync --delete
    bool checksum = false;    // sync --checksum
    bool dryRun = false;      // restore and sync --dry-run
    bool force = false;       // mv --force
    bool humanReadable = false; // ls and df -h

    QString error; // a usage error; empty when the line is fine
};

// One command's line, the program's name first.
CommandLine parseCommandLine(const QStringList &arguments);

// Several commands on one line, each after a lone "+": the program's name
// first. Options that apply to the whole run (the port, the time-out, the
// trace, -q, --json) may stand in any part, and then hold for all.
QVector<CommandLine> parseCommandChain(const QStringList &arguments);

// The command a mistyped one most likely meant; empty when none is close.
QString nearestCommand(const QString &typed);

bool isCommand(const QString &name);
// The general help, or a command's own when command is one.
QString helpText(const QString &command = QString());

#endif // COMMANDLINE_H
