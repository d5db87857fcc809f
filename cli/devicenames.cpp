#include "devicenames.h"

#include "namepattern.h"

#include <QtCore/QSet>
#include <QtCore/QStringList>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

QString shownName(const QByteArray &name)
{
    // A receiver's name could otherwise move the cursor or retitle the window.
    QString shown;
    for (const QChar c : deviceNameText(name)) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString shownNames(const QVector<QByteArray> &names)
{
    QStringList shown;
    for (const QByteArray &name : names)
        shown << shownName(name);
    return shown.join(QStringLiteral(", "));
}

namespace DeviceNames {

QString fromUser(const QString &typed)
{
    return typed.startsWith(QLatin1Char('/')) ? typed.mid(1) : typed;
}

QByteArray bytesFromUser(const QString &typed)
{
    return fromUser(typed).toUtf8();
}

QString folderOf(const QString &typed)
{
    QString folder = fromUser(typed);
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder.isEmpty() ? folder : folder + QLatin1Char('/');
}

bool severalFiles(const QStringList &arguments)
{
    QStringList names;
    for (const QString &argument : arguments) {
        if (NamePattern::isPattern(fromUser(argument)))
            return false;
        const QString name = folderOf(argument);
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    // Each stands for one file at least, or the command fails; two only
    // overlap when one is a folder holding the other.
    for (const QString &a : std::as_const(names)) {
        for (const QString &b : std::as_const(names)) {
            if (a != b && b.startsWith(a))
                return false;
        }
    }
    return names.size() > 1;
}

std::optional<ListingEntry> find(const QString &typed, const QVector<ListingEntry> &listing)
{
    const QString name = fromUser(typed);
    for (const ListingEntry &entry : listing) {
        if (deviceNameText(entry.name) == name)
            return entry;
    }
    return std::nullopt;
}

QVector<ListingEntry> select(const QString &argument, const QVector<ListingEntry> &listing)
{
    // A name is itself before it is a pattern or a folder: "a*.txt" is the
    // file of that name when the receiver holds one.
    if (const std::optional<ListingEntry> exact = find(argument, listing))
        return {*exact};
    const QString name = fromUser(argument);
    QVector<ListingEntry> selected;
    if (NamePattern::isPattern(name)) {
        for (const ListingEntry &entry : listing) {
            if (NamePattern::matches(name, deviceNameText(entry.name)))
                selected << entry;
        }
        return selected;
    }
    const QString folder = folderOf(name);
    if (folder.isEmpty())
        return selected;
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
