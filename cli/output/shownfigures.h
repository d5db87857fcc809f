// Sizes, counts and times as spiffs-cli shows them to a person: the
// progress lines, df and ls -h, and the jobs' summaries all use these.
#ifndef SHOWNFIGURES_H
#define SHOWNFIGURES_H

#include <QtCore/QString>

// Bytes below 1 KiB, then KiB, MiB or GiB (1 KiB = 1024 bytes) to one
// decimal.
QString byteCount(qint64 bytes);

// df -h's total, used and free, rounded once so that used and free add up
// to the total as shown: all three in the total's unit, to one decimal, the
// larger of used and free being what the smaller leaves of the total. The
// smaller is given in a unit of its own when the total's would show it as
// 0.0 ("7.3 KiB" beside "1.3 MiB").
struct SpaceFigures
{
    QString total;
    QString used;
    QString free;
};
SpaceFigures spaceFigures(qint64 total, qint64 used);

// "m:ss".
QString duration(qint64 seconds);
// The same for a time measured in seconds, a second begun counting whole.
QString durationBegun(double seconds);

// "1 file", "3 files".
QString fileCount(qint64 count);

#endif // SHOWNFIGURES_H
