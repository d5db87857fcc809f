// Room on the receiver's flash for a plan of writes, as the command line
// counts it before it sends anything: the receiver counts 256-byte pages,
// and SPIFFS keeps five bytes of each for itself, so a file is charged what
// it can take at most: a data page per 251 bytes begun, an index page, and
// one more index page per 96 data pages, 256 bytes each. A file removed or
// replaced is credited the least it can free: a page per 256 bytes begun
// and its index page.
//
// The window keeps the check its design gives it (TransferFormat::
// fitsInFreeSpace(): the free space against the file's size): it sends one
// file at a time and shows the receiver's own refusal when the guess was
// wrong. A plan of several uploads and removals must know before the first
// is sent whether the last will fit, so it counts the worst case; the same
// file is then judged alike by every command that plans. Qt Core only.
#ifndef FLASHROOM_H
#define FLASHROOM_H

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QPair>
#include <QtCore/QVector>

#include <optional>

namespace FlashRoom {

qint64 cost(qint64 size);
qint64 credit(qint64 size);

struct Upload
{
    qint64 size = 0;
    std::optional<qint64> replaces; // the size of the file of that name it replaces
};

struct Room
{
    qint64 free = 0;   // as reported
    qint64 freed = 0;  // credited for the files removed first
    qint64 needed = 0; // the most the uploads take at any point, in their order
    bool fits() const { return needed <= free + freed; }
};

// The room uploads need, in their order, after the files of removedSizes
// are removed, on a receiver that reported memory.
Room plan(const CatalogueFormat::MemoryFigures &memory, const QVector<qint64> &removedSizes, const QVector<Upload> &uploads);

// Uploads of files (name and size, in order), each replacing the file of
// its name: the one held, or one an earlier upload of the plan made.
QVector<Upload> uploadsOver(const QVector<CatalogueFormat::ListingEntry> &held,
                            const QVector<QPair<QByteArray, qint64>> &files);

} // namespace FlashRoom

#endif // FLASHROOM_H
