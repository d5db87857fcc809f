#include "clitext.h"

#include "console.h"

#include "core/catalogueformat.h"
#include "core/transferformat.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>

#include <algorithm>

QString shownName(const QByteArray &name)
{
    // A receiver's name could otherwise move the cursor or retitle the window.
    QString shown;
    for (const QChar c : CatalogueFormat::deviceNameText(name)) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

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

void printJson(const QJsonObject &object)
{
    // Compact, so each document is one line: a chain of commands prints
    // JSON lines.
    Console::writeData(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}
