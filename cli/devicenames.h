// Device names as the user types them: a leading "/" is the receiver's
// path's own and may be left out, and a name may be a pattern (see
// namepattern.h) or a folder, a name that some names start with followed by
// "/", which stands for every file under it.
#ifndef DEVICENAMES_H
#define DEVICENAMES_H

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

#include <optional>

// A device name as a terminal is to show it: control characters as \xHH.
QString shownName(const QByteArray &name);
// "a.txt, b.txt": names as a terminal is to show them.
QString shownNames(const QVector<QByteArray> &names);

namespace DeviceNames {

// Without the leading "/" the receiver's paths start with.
QString fromUser(const QString &typed);
QByteArray bytesFromUser(const QString &typed);

// The file of that name, when the listing holds it.
std::optional<CatalogueFormat::ListingEntry> find(const QString &typed,
                                                  const QVector<CatalogueFormat::ListingEntry> &listing);

// "presets/" for "presets", "/presets/" or "presets//"; empty for the top.
QString folderOf(const QString &typed);

// The listed files argument stands for, in listing order: the file of that
// name, else every file a pattern matches, or every file under a folder.
// Empty when none is. Every command that looks names up asks here, so a
// name is itself before it is a pattern everywhere.
QVector<CatalogueFormat::ListingEntry> select(const QString &argument,
                                              const QVector<CatalogueFormat::ListingEntry> &listing);

// The files all arguments stand for, each once, in the order first named.
// The arguments that stand for none go to unmatched.
QVector<CatalogueFormat::ListingEntry> selectAll(const QStringList &arguments,
                                                 const QVector<CatalogueFormat::ListingEntry> &listing,
                                                 QStringList *unmatched);

// Whether arguments stand for more than one file whatever the receiver
// holds, given that each must stand for one at least: two names or more,
// none a pattern, none a folder holding another.
bool severalFiles(const QStringList &arguments);

} // namespace DeviceNames

#endif // DEVICENAMES_H
