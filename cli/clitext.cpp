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

void printJson(const QJsonObject &object)
{
    Console::writeData(QJsonDocument(object).toJson(QJsonDocument::Indented));
}
