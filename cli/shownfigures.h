// Sizes, counts and times as spiffs-cli shows them to a person: the
// progress lines, df and ls -h, and the jobs' summaries all use these.
#ifndef SHOWNFIGURES_H
#define SHOWNFIGURES_H

#include <QtCore/QString>

// Bytes below 1 KiB, then KiB, MiB or GiB (1 KiB = 1024 bytes) to one
// decimal.
QString byteCount(qint64 bytes);

// "m:ss".
QString duration(qint64 seconds);
// The same for a time measured in seconds, a second begun counting whole.
QString durationBegun(double seconds);

// "1 file", "3 files".
QString fileCount(qint64 count);

#endif // SHOWNFIGURES_H
