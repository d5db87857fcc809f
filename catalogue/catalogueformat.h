// Byte-level format of the memory report and the file listing, and the
// file-type rule. Qt Core only.
#ifndef CATALOGUEFORMAT_H
#define CATALOGUEFORMAT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVector>

namespace CatalogueFormat {

inline constexpr int MemoryReplySize = 8;

struct MemoryFigures
{
    quint32 totalBytes = 0;
    quint32 usedBytes = 0;
};

// Capacity and bytes in use from the first eight bytes of reply.
MemoryFigures decodeMemoryReply(const QByteArray &reply);

// What the device reports as free; wraps like the device's own unsigned figures.
quint32 freeBytes(const MemoryFigures &figures);

// The gauge takes signed ints; capacities above that range are halved so the
// bar still shows the used share.
struct GaugeSetting
{
    int maximum = 0;
    int value = 0;
};
GaugeSetting gaugeSetting(const MemoryFigures &figures);

inline constexpr int ListingPrefixSize = 4;
inline constexpr int ListingEntryHeaderSize = 8;
// No flash of an ESP32 holds a listing this long; anything larger is garbage.
inline constexpr quint32 MaxListingBytes = 16 * 1024 * 1024;

struct ListingEntry
{
    QByteArray name; // the device's own bytes
    quint32 size = 0;
};

struct Listing
{
    QVector<ListingEntry> entries; // the whole entries, in order
    bool malformed = false;        // an entry ran past the end of the body
};

Listing parseListingEntries(const QByteArray &body);

// Name bytes as text: UTF-8 where the bytes are valid UTF-8, every other byte
// as its Latin-1 character, so every name shows as something readable.
QString deviceNameText(const QByteArray &name);

// The lower-cased text between the first "." and the next "." (or the end);
// empty when there is no "." or the name starts with one.
QString fileExtension(const QString &name);

} // namespace CatalogueFormat

#endif // CATALOGUEFORMAT_H
