#include "cli/output/shownfigures.h"

#include <algorithm>

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

SpaceFigures spaceFigures(qint64 total, qint64 used)
{
    used = qBound<qint64>(0, used, total);
    const qint64 free = total - used;
    constexpr qint64 KiB = 1024;
    if (total < KiB)
        return {byteCount(total), byteCount(used), byteCount(free)};
    const char *unitName = total < KiB * KiB ? "KiB" : total < KiB * KiB * KiB ? "MiB" : "GiB";
    const qint64 unit = total < KiB * KiB ? KiB : total < KiB * KiB * KiB ? KiB * KiB : KiB * KiB * KiB;
    const auto tenths = [unit](qint64 bytes) { return (bytes * 10 + unit / 2) / unit; };
    const auto shown = [unitName](qint64 count) {
        return QStringLiteral("%1.%2 %3").arg(count / 10).arg(count % 10).arg(QLatin1String(unitName));
    };
    const qint64 totalTenths = tenths(total);
    const qint64 smaller = std::min(used, free);
    const qint64 smallerTenths = tenths(smaller);
    const QString smallerText = smallerTenths == 0 ? byteCount(smaller) : shown(smallerTenths);
    const QString largerText = shown(totalTenths - smallerTenths);
    const bool usedSmaller = used <= free;
    return {shown(totalTenths), usedSmaller ? smallerText : largerText, usedSmaller ? largerText : smallerText};
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
