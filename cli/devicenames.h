// Device names as the user types them: a leading "/" is the receiver's
// path's own and may be left out, and a name may be a pattern (see
// namepattern.h) or a folder, a name that some names start with followed by
// "/", which stands for every file under it.
#ifndef DEVICENAMES_H
#define DEVICENAMES_H

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVector>

namespace DeviceNames {

// Without the leading "/" the receiver's paths start with.
QString fromUser(const QString &typed);
QByteArray bytesFromUser(const QString &typed);

// The listed files argument stands for, in listing order: the file of that
// name, every file a pattern matches, or every file under a folder. Empty
// when none is.
QVector<CatalogueFormat::ListingEntry> select(const QString &argument,
                                              const QVector<CatalogueFormat::ListingEntry> &listing);

// The files all arguments stand for, each once, in the order first named.
// The arguments that stand for none go to unmatched.
QVector<CatalogueFormat::ListingEntry> selectAll(const QStringList &arguments,
                                                 const QVector<CatalogueFormat::ListingEntry> &listing,
                                                 QStringList *unmatched);

} // namespace DeviceNames

#endif // DEVICENAMES_H
