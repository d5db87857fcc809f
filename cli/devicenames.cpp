#include "devicenames.h"

#include "namepattern.h"

#include <QtCore/QSet>
#include <QtCore/QStringList>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace DeviceNames {

QString fromUser(const QString &typed)
{
    return typed.startsWith(QLatin1Char('/')) ? typed.mid(1) : typed;
}

QByteArray bytesFromUser(const QString &typed)
{
    return fromUser(typed).toUtf8();
}

QVector<ListingEntry> select(const QString &argument, const QVector<ListingEntry> &listing)
{
    const QString name = fromUser(argument);
    QVector<ListingEntry> selected;
    if (NamePattern::isPattern(name)) {
        for (const ListingEntry &entry : listing) {
            if (NamePattern::matches(name, deviceNameText(entry.name)))
                selected << entry;
        }
        return selected;
    }
    for (const ListingEntry &entry : listing) {
        if (deviceNameText(entry.name) == name)
            return {entry};
    }
    QString folder = name;
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (folder.isEmpty())
        return selected;
    folder += QLatin1Char('/');
    for (const ListingEntry &entry : listing) {
        if (deviceNameText(entry.name).startsWith(folder))
            selected << entry;
    }
    return selected;
}

QVector<ListingEntry> selectAll(const QStringList &arguments, const QVector<ListingEntry> &listing,
                                QStringList *unmatched)
{
    QVector<ListingEntry> selected;
    QSet<QByteArray> seen;
    for (const QString &argument : arguments) {
        const QVector<ListingEntry> entries = select(argument, listing);
        if (entries.isEmpty() && unmatched)
            *unmatched << argument;
        for (const ListingEntry &entry : entries) {
            if (!seen.contains(entry.name)) {
                seen.insert(entry.name);
                selected << entry;
            }
        }
    }
    return selected;
}

} // namespace DeviceNames
