// spiffs-cli's command line, read against the tables of commandtable.h:
// global options, the command and its own options and arguments, and the
// help for each.
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "commandtable.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

struct CommandLine
{
    QString command;
    const CommandSpec *spec = nullptr; // the command's row, once it is known
    QStringList arguments;             // what follows the command, options taken out

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

    QString error; // a usage error; empty when the line is fine
};

CommandLine parseCommandLine(const QStringList &arguments);

bool isCommand(const QString &name);
// The general help, or a command's own when command is one.
QString helpText(const QString &command = QString());

#endif // COMMANDLINE_H
