#include "core/flashroom.h"

#include <QtCore/QHash>

#include <algorithm>

namespace FlashRoom {

namespace {

constexpr qint64 PageBytes = CatalogueFormat::PageSize;
constexpr qint64 PageContentBytes = PageBytes - 5;
constexpr qint64 DataPagesPerIndexPage = 96;

qint64 pagesBegun(qint64 bytes, qint64 perPage)
{
    return (bytes + perPage - 1) / perPage;
}

} // namespace

qint64 cost(qint64 size)
{
    const qint64 dataPages = pagesBegun(size, PageContentBytes);
    const qint64 indexPages = 1 + dataPages / DataPagesPerIndexPage;
    return (dataPages + indexPages) * PageBytes;
}

qint64 credit(qint64 size)
{
    return (1 + pagesBegun(size, PageBytes)) * PageBytes;
}

Room plan(const CatalogueFormat::MemoryFigures &memory, const QVector<qint64> &removedSizes, const QVector<Upload> &uploads)
{
    Room room;
    // A report whose use exceeds its total promises nothing.
    room.free = memory.usedBytes >= memory.totalBytes ? 0 : qint64(memory.totalBytes) - memory.usedBytes;
    for (const qint64 size : removedSizes)
        room.freed += credit(size);
    // A replaced file frees its pages as its upload starts, so a shrinking
    // file late in the order cannot pay for a growing one before it.
    qint64 taken = 0;
    for (const Upload &upload : uploads) {
        taken += cost(upload.size) - (upload.replaces ? credit(*upload.replaces) : 0);
        room.needed = std::max(room.needed, taken);
    }
    return room;
}

QVector<Upload> uploadsOver(const QVector<CatalogueFormat::ListingEntry> &held,
                            const QVector<QPair<QByteArray, qint64>> &files)
{
    QHash<QByteArray, qint64> sizes;
    for (const CatalogueFormat::ListingEntry &entry : held)
        sizes.insert(entry.name, entry.size);
    QVector<Upload> uploads;
    for (const auto &[name, size] : files) {
        const auto replaced = sizes.constFind(name);
        uploads << Upload{size, replaced != sizes.cend() ? std::optional<qint64>(*replaced) : std::nullopt};
        sizes.insert(name, size);
    }
    return uploads;
}

} // namespace FlashRoom
