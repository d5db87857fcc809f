// What one command of spiffs-cli's command line says: the command and its
// arguments, the options that apply to the whole run, and the command's own
// (commandparser.h reads it).
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "core/exchange.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

struct CommandRow;

struct CommandLine
{
    QString command;
    const CommandRow *row = nullptr; // the command's row of the table, once it is known
    QStringList arguments;             // what follows the command, options taken out
    int chainIndex = 0;                // its place in a chain of commands, from 0

    // The options' values, each where its row in the option table puts it.
    QString port;
    QString timeoutText; // --timeout as typed; timeoutSeconds, once read
    double timeoutSeconds = AnswerSilenceMs / 1000.0;
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
    QString manifestName;       // restore --manifest

    QString error; // a usage error; empty when the line is fine
};

#endif // COMMANDLINE_H
