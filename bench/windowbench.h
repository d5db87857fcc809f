// The window against the emulated receiver: transfers paced at 115200 baud
// and unpaced, the listing, start-up, and a download's memory.
#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include <QtCore/QString>

class QTemporaryDir;
class Results;

void benchPaced(Results &results, int runs, QTemporaryDir &work, bool downloads, bool uploads);
void benchUnpaced(Results &results, int runs, QTemporaryDir &work, bool downloads, bool uploads);
void benchListing(Results &results, int runs);
void benchStartup(Results &results, int runs, const QString &launcher);
void benchMemory(Results &results, int runs, QTemporaryDir &work, const QString &emulator);
// The child process benchMemory starts: one download measured in it.
int memoryChild(const QString &port, const QString &name, const QString &folder);

#endif // WINDOWBENCH_H
