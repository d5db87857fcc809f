// Device names as the user sees and types them. A name is shown so that no
// two names look alike (shownName()), and a name typed as shown stands for
// that name. A leading "/" is the receiver's path's own and may be left out;
// a name may also be a pattern (see namepattern.h), matched against names
// as shown, or a folder, a name that some names start with followed by "/",
// which stands for every file under it.
#ifndef DEVICENAMES_H
#define DEVICENAMES_H

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

#include <optional>

// A device name as a terminal, a script and a JSON document all get it:
// UTF-8 as its text; a byte that is not UTF-8, and a control character, as
// \xHH (each of its bytes); a backslash as \\. So the name "x" 0xFF shows as
// x\xff, the UTF-8 of "x\u00ff" as that text, and neither can move the
// cursor or retitle the window.
QString shownName(const QByteArray &name);
// "a.txt, b.txt": names as shownName() shows them.
QString shownNames(const QVector<QByteArray> &names);
// A document's object with name among its fields: key as shownName() shows
// it and, when that needed an escape, key + "Bytes" with its bytes in hex.
QJsonObject withName(QJsonObject fields, const QByteArray &name, const QString &key = QStringLiteral("name"));

namespace DeviceNames {

// Without the leading "/" the receiver's paths start with.
QString fromUser(const QString &typed);
// The bytes a typed name stands for: its UTF-8, with \xHH and \\ read as
// shownName() writes them.
QByteArray bytesFromUser(const QString &typed);

// The file typed names, when the listing holds it: the file whose bytes are
// the typed text's UTF-8, or those it stands for once its escapes are read.
// A name that stands for two files that way, or that only reads like a
// file's name (its bytes differ), is refused (bad usage) with the names to
// type instead: no command ever touches a file other than the one typed.
std::optional<CatalogueFormat::ListingEntry> find(const QString &command, const QString &typed,
                                                  const QVector<CatalogueFormat::ListingEntry> &listing);

// "presets/" for "presets", "/presets/" or "presets//"; empty for the top.
QString folderOf(const QString &typed);

// The listed files argument stands for, in listing order: the file of that
// name, else every file a pattern matches, or every file under a folder.
// Empty when none is. Every command that looks names up asks here, so a
// name is itself before it is a pattern everywhere.
QVector<CatalogueFormat::ListingEntry> select(const QString &command, const QString &argument,
                                              const QVector<CatalogueFormat::ListingEntry> &listing);

// The files all arguments stand for, each once, in the order first named.
// The arguments that stand for none go to unmatched.
QVector<CatalogueFormat::ListingEntry> selectAll(const QString &command, const QStringList &arguments,
                                                 const QVector<CatalogueFormat::ListingEntry> &listing,
                                                 QStringList *unmatched);

// Whether arguments stand for more than one file whatever the receiver
// holds, given that each must stand for one at least: two names or more,
// none a pattern, none a folder holding another.
bool severalFiles(const QStringList &arguments);

} // namespace DeviceNames

#endif // DEVICENAMES_H
