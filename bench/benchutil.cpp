#include "benchutil.h"

#include <QtCore/QFile>
#include <QtCore/QRandomGenerator>

#include <cstdio>

namespace Bench {

void say(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

QByteArray fileContent(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray content(size, Qt::Uninitialized);
    for (char &byte : content)
        byte = char(random.bounded(256));
    return content;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

double wireSeconds(qint64 bytes)
{
    return double(bytes) * 10 / Baud;
}

qint64 uploadBoundBytes(qint64 fileSize, int nameLength)
{
    const qint64 fullChunks = fileSize / ChunkBytes;
    const qint64 rest = fileSize % ChunkBytes;
    const qint64 chunkBytes = fullChunks * (ChunkFrame + 1) + (rest > 0 ? FrameHeader + 1 + rest + 1 : 0);
    return (FrameHeader + 4 + 4 + 1 + nameLength) + 1 + chunkBytes + FrameHeader + 1;
}

qint64 uploadAnswers(qint64 fileSize)
{
    return (fileSize + ChunkBytes - 1) / ChunkBytes + 1;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

CpuTicks cpuTicks()
{
    CpuTicks ticks;
    QFile file(QStringLiteral("/proc/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return ticks;
    // cpu user nice system idle iowait irq softirq steal guest guest_nice
    const QList<QByteArray> fields = file.readLine().simplified().split(' ');
    for (int i = 1; i < fields.size() && i <= 8; ++i)
        ticks.total += fields.at(i).toLongLong();
    if (fields.size() > 8)
        ticks.steal = fields.at(8).toLongLong();
    return ticks;
}

double stealPercent(const CpuTicks &from, const CpuTicks &to)
{
    const qint64 total = to.total - from.total;
    return total > 0 ? 100.0 * double(to.steal - from.steal) / double(total) : 0;
}

QString firstMatch(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(key))
            return line.mid(line.indexOf(QLatin1Char(':')) + 1).trimmed();
    }
    return QString();
}

} // namespace Bench
