// spiffs-cli as a process against spiffs-emulator --baud 115200 as a
// process: a download and an upload of 64 KiB against the line's bounds, the
// start of the process up to its first request on the line, commands chained
// on one opening of a board that restarts on open, cat's memory, and the
// memory of put --verify over one file and over fifty.
#ifndef CLIBENCH_H
#define CLIBENCH_H

#include <QtCore/QString>

class Results;

struct CliBenchGroups
{
    bool get = false;
    bool put = false;
    bool startup = false;
    bool chain = false; // ls + get + get on one opening against three, on a board that restarts on open
    bool catMemory = false; // peak memory of cat against get, 256 KiB
    bool putVerifyMemory = false; // peak memory of put --verify, 1 file against 50
};

void benchCli(Results &results, int runs, const QString &workFolder, const CliBenchGroups &groups);

#endif // CLIBENCH_H
