// spiffs-cli as a process against spiffs-emulator --baud 115200 as a
// process: a download and an upload of 64 KiB against the line's bounds, and
// the start of the process up to its first request on the line.
#ifndef CLIBENCH_H
#define CLIBENCH_H

#include <QtCore/QString>

class Results;

struct CliBenchGroups
{
    bool get = false;
    bool put = false;
    bool startup = false;
};

void benchCli(Results &results, int runs, const QString &workFolder, const CliBenchGroups &groups);

#endif // CLIBENCH_H
