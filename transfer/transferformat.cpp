#include "transfer/transferformat.h"

#include "link/wireformat.h"

#include <QtCore/QStringList>

#include <algorithm>

namespace TransferFormat {

int downloadPercent(qint64 received, qint64 size)
{
    if (size <= 0 || received >= size)
        return 100;
    return int(received * 100 / size);
}

int uploadPercent(qint64 remainingBeforeChunk, qint64 size)
{
    if (size <= 0)
        return 100;
    return int(100 - remainingBeforeChunk * 100 / size);
}

namespace {

bool unsafeInFileName(QChar c)
{
    static const QString refusedByWindows = QStringLiteral("/\\<>:\"|?*");
    return c.unicode() < 0x20 || c.unicode() == 0x7F || refusedByWindows.contains(c);
}

bool isWindowsDeviceName(const QString &name)
{
    static const QStringList devices = {
        QStringLiteral("CON"),  QStringLiteral("PRN"),  QStringLiteral("AUX"),  QStringLiteral("NUL"),
        QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4"),
        QStringLiteral("COM5"), QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"),
        QStringLiteral("COM9"), QStringLiteral("LPT1"), QStringLiteral("LPT2"), QStringLiteral("LPT3"),
        QStringLiteral("LPT4"), QStringLiteral("LPT5"), QStringLiteral("LPT6"), QStringLiteral("LPT7"),
        QStringLiteral("LPT8"), QStringLiteral("LPT9"),
    };
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed();
    return devices.contains(stem, Qt::CaseInsensitive);
}

// Cuts whole characters off the end of stem until stem + tail fits.
QString shortened(const QString &name)
{
    if (name.toUtf8().size() <= MaxLocalNameBytes)
        return name;
    const int lastDot = name.lastIndexOf(QLatin1Char('.'));
    const QString tail = lastDot > 0 && name.size() - lastDot <= 16 ? name.mid(lastDot) : QString();
    QString stem = name.left(name.size() - tail.size());
    const int budget = MaxLocalNameBytes - int(tail.toUtf8().size());
    while (stem.toUtf8().size() > budget) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.at(stem.size() - 1).isHighSurrogate())
            stem.chop(1);
    }
    return stem + tail;
}

} // namespace

QString localFileName(const QString &deviceName)
{
    QString name = deviceName;
    for (QChar &c : name) {
        if (unsafeInFileName(c))
            c = QLatin1Char('-');
    }
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || isWindowsDeviceName(name))
        name.prepend(QLatin1Char('-'));
    return shortened(name);
}

QString uploadName(const QString &localPath)
{
    const QString lastPart = localPath.section(QLatin1Char('/'), -1);
    const auto kept = [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_'
               || (u >= '\'' && u <= '.'); // ' ( ) * + , - .
    };
    QString name;
    name.reserve(lastPart.size());
    for (QChar c : lastPart) {
        if (kept(c))
            name += c;
    }
    name.truncate(MaxUploadNameLength);
    return name;
}

bool uploadNameAcceptable(const QString &name)
{
    const int firstDot = name.indexOf(QLatin1Char('.'));
    if (firstDot < 0)
        return true;
    const bool typeMissing = firstDot + 1 == name.size() || name.at(firstDot + 1) == QLatin1Char('.');
    return firstDot > 0 && !typeMissing;
}

QByteArray uploadStartPayload(const QByteArray &devicePath, quint32 fileSize)
{
    return WireFormat::bigEndian32(quint32(devicePath.size())) + WireFormat::bigEndian32(fileSize) + devicePath;
}

QByteArray uploadChunkPayload(const QByteArray &chunk)
{
    Q_ASSERT(!chunk.isEmpty() && chunk.size() <= MaxChunkBytes);
    return char(chunk.size()) + chunk;
}

} // namespace TransferFormat
