#include "shownfigures.h"

QString byteCount(qint64 bytes)
{
    constexpr qint64 KiB = 1024;
    if (bytes < KiB)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < KiB * KiB)
        return QStringLiteral("%1 KiB").arg(double(bytes) / KiB, 0, 'f', 1);
    if (bytes < KiB * KiB * KiB)
        return QStringLiteral("%1 MiB").arg(double(bytes) / (KiB * KiB), 0, 'f', 1);
    return QStringLiteral("%1 GiB").arg(double(bytes) / (KiB * KiB * KiB), 0, 'f', 1);
}

QString duration(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString durationBegun(double seconds)
{
    return duration(qint64(seconds + 0.999));
}

QString fileCount(qint64 count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}
