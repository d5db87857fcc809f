#include "cli/names/devicenames.h"

#include "cli/line/failures.h"
#include "cli/names/namepattern.h"

#include <QtCore/QSet>
#include <QtCore/QStringList>

using CatalogueFormat::ListingEntry;

namespace {

QString escapedByte(quint8 byte)
{
    return QStringLiteral("\\x%1").arg(int(byte), 2, 16, QLatin1Char('0'));
}

bool isControl(char32_t codePoint)
{
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
}

} // namespace

QString shownName(const QByteArray &name)
{
    QString shown;
    shown.reserve(name.size());
    for (int pos = 0; pos < name.size();) {
        const CatalogueFormat::NamePiece piece = CatalogueFormat::namePieceAt(name, pos);
        if (!piece.utf8 || isControl(piece.codePoint)) {
            for (int i = 0; i < piece.length; ++i)
                shown += escapedByte(quint8(name.at(pos + i)));
        } else {
            if (piece.codePoint == U'\\')
                shown += QLatin1Char('\\');
            shown += QString::fromUcs4(&piece.codePoint, 1);
        }
        pos += piece.length;
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

QJsonObject withName(QJsonObject fields, const QByteArray &name, const QString &key)
{
    const QString shown = shownName(name);
    fields.insert(key, shown);
    if (shown != QString::fromUtf8(name))
        fields.insert(key + QStringLiteral("Bytes"), QLatin1String(name.toHex()));
    return fields;
}

namespace DeviceNames {

QString fromUser(const QString &typed)
{
    return typed.startsWith(QLatin1Char('/')) ? typed.mid(1) : typed;
}

QByteArray bytesFromUser(const QString &typed)
{
    const QByteArray text = fromUser(typed).toUtf8();
    const auto hexDigit = [](char c) { return QByteArray("0123456789abcdefABCDEF").contains(c); };
    QByteArray bytes;
    bytes.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QByteArray next = text.mid(i, 4);
        if (next.startsWith("\\\\")) {
            bytes += '\\';
            ++i;
        } else if (next.size() == 4 && next.startsWith("\\x") && hexDigit(next.at(2)) && hexDigit(next.at(3))) {
            bytes += char(next.mid(2).toInt(nullptr, 16));
            i += 3;
        } else {
            bytes += text.at(i);
        }
    }
    return bytes;
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

std::optional<ListingEntry> find(const QString &command, const QString &typed, const QVector<ListingEntry> &listing)
{
    const QByteArray text = fromUser(typed).toUtf8();
    const QByteArray escapesRead = bytesFromUser(typed);
    QVector<ListingEntry> found;
    QVector<QByteArray> alike;
    for (const ListingEntry &entry : listing) {
        if (entry.name == text || entry.name == escapesRead)
            found << entry;
        else if (CatalogueFormat::deviceNameText(entry.name) == fromUser(typed))
            alike << entry.name;
    }
    if (found.size() > 1) {
        throw CommandFailure(Failure::Usage, QStringLiteral("%1: %2 stands for two files, %3 and %4; type the one you "
                                                            "mean as it is shown here")
                                                     .arg(command, typed, shownName(found.at(0).name),
                                                          shownName(found.at(1).name)));
    }
    if (found.size() == 1)
        return found.constFirst();
    if (!alike.isEmpty()) {
        throw CommandFailure(Failure::Usage, QStringLiteral("%1: no file is named %2 byte for byte; %3 only reads "
                                                            "like it: type a name as it is shown here")
                                                     .arg(command, typed, shownNames(alike)));
    }
    return std::nullopt;
}

QVector<ListingEntry> select(const QString &command, const QString &argument, const QVector<ListingEntry> &listing)
{
    // A name is itself before it is a pattern or a folder: "a*.txt" is the
    // file of that name when the receiver holds one.
    if (const std::optional<ListingEntry> exact = find(command, argument, listing))
        return {*exact};
    const QString name = fromUser(argument);
    QVector<ListingEntry> selected;
    if (NamePattern::isPattern(name)) {
        for (const ListingEntry &entry : listing) {
            if (NamePattern::matches(name, shownName(entry.name)))
                selected << entry;
        }
        return selected;
    }
    const QString folder = folderOf(name);
    if (folder.isEmpty())
        return selected;
    for (const ListingEntry &entry : listing) {
        if (shownName(entry.name).startsWith(folder))
            selected << entry;
    }
    return selected;
}

QVector<ListingEntry> selectAll(const QString &command, const QStringList &arguments, const QVector<ListingEntry> &listing,
                                QStringList *unmatched)
{
    QVector<ListingEntry> selected;
    QSet<QByteArray> seen;
    for (const QString &argument : arguments) {
        const QVector<ListingEntry> entries = select(command, argument, listing);
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
