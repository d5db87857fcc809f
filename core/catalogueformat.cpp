#include "core/catalogueformat.h"

#include "core/wireformat.h"

#include <algorithm>
#include <limits>

namespace CatalogueFormat {

QByteArray memoryRequest()
{
    return WireFormat::commandFrame(WireFormat::Letter::Memory);
}

MemoryFigures decodeMemoryReply(const QByteArray &reply)
{
    MemoryFigures figures;
    figures.totalBytes = WireFormat::readBigEndian32(reply, 0);
    figures.usedBytes = WireFormat::readBigEndian32(reply, 4);
    return figures;
}

std::optional<MemoryFigures> takeMemoryReply(QByteArray &received)
{
    if (received.size() < MemoryReplySize)
        return std::nullopt;
    const MemoryFigures figures = decodeMemoryReply(received);
    received.clear();
    return figures;
}

QString memoryReportProblem(const MemoryFigures &figures)
{
    if (figures.totalBytes > MaxFlashBytes)
        return QStringLiteral("a total of %1 bytes, more than any receiver's flash holds").arg(figures.totalBytes);
    if (quint64(figures.usedBytes) > quint64(figures.totalBytes) + UsedBeyondTotalBytes)
        return QStringLiteral("%1 bytes used of a total of %2").arg(figures.usedBytes).arg(figures.totalBytes);
    return QString();
}

quint32 freeBytes(const MemoryFigures &figures)
{
    return figures.usedBytes >= figures.totalBytes ? 0 : figures.totalBytes - figures.usedBytes;
}

GaugeSetting gaugeSetting(const MemoryFigures &figures)
{
    constexpr quint32 intMax = quint32(std::numeric_limits<int>::max());
    // A used figure above the capacity shows as a full bar, not a stale one.
    quint32 maximum = figures.totalBytes;
    quint32 value = std::min(figures.usedBytes, figures.totalBytes);
    if (maximum > intMax) {
        maximum >>= 1;
        value >>= 1;
    }
    return GaugeSetting{int(maximum), int(value)};
}

quint64 wholeAreaBytes(quint32 capacity)
{
    return quint64(capacity) + UsedBeyondTotalBytes;
}

quint32 maxFileCount(quint32 capacity)
{
    return capacity / PageSize;
}

quint32 maxListingBytes(quint32 capacity)
{
    const quint64 longest = quint64(maxFileCount(capacity)) * (ListingEntryHeaderSize + MaxListedNameBytes);
    return quint32(std::min<quint64>(longest, MaxListingBytes));
}

Listing parseListingEntries(const QByteArray &body, int maxEntries)
{
    Listing listing;
    int pos = 0;
    const int size = body.size();
    while (pos < size) {
        if (size - pos < ListingEntryHeaderSize || listing.entries.size() >= maxEntries) {
            listing.malformed = true;
            break;
        }
        // Only the last byte of the name-length field counts.
        const int nameLength = quint8(body.at(pos + 3));
        ListingEntry entry;
        entry.size = WireFormat::readBigEndian32(body, pos + 4);
        pos += ListingEntryHeaderSize;
        if (size - pos < nameLength) {
            listing.malformed = true;
            break;
        }
        entry.name = body.mid(pos, nameLength);
        pos += nameLength;
        listing.entries.append(entry);
    }
    return listing;
}

QByteArray listingRequest()
{
    return WireFormat::commandFrame(WireFormat::Letter::List);
}

ListingStep readListingReply(QByteArray &received, qint32 &listLength, quint32 capacity)
{
    ListingStep step;
    const auto finish = [&](ListingStep::Status status) {
        received = QByteArray(); // a long listing's buffer is given back
        listLength = 0;
        step.status = status;
        return step;
    };
    if (listLength == 0) {
        if (received.size() < ListingPrefixSize)
            return step;
        step.started = true;
        const quint32 announced = WireFormat::readBigEndian32(received, 0);
        if (announced == 0) {
            step.surplus = int(received.size()) - ListingPrefixSize;
            return finish(ListingStep::Status::Complete);
        }
        // Refused before any of it is buffered: no receiver of this
        // capacity can send that much.
        if (announced > maxListingBytes(capacity))
            return finish(ListingStep::Status::Malformed);
        listLength = qint32(announced);
        received.remove(0, ListingPrefixSize);
    }

    // Entries that came with the prefix count at once; bytes beyond the
    // announced length are not part of the listing.
    if (received.size() < listLength)
        return step;
    step.surplus = int(received.size()) - listLength;
    received.truncate(listLength);
    Listing listing = parseListingEntries(received, int(maxFileCount(capacity)));
    step.entries = std::move(listing.entries);
    return finish(listing.malformed ? ListingStep::Status::Malformed : ListingStep::Status::Complete);
}

namespace {

// Length of the well-formed UTF-8 sequence of two to four bytes starting at
// bytes[pos], or 0 when the bytes there are not one; its code point in
// *codePoint.
int utf8SequenceAt(const QByteArray &bytes, int pos, char32_t *codePoint)
{
    const auto lead = quint8(bytes.at(pos));
    int length;
    char32_t value;
    char32_t smallest;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() - pos < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        const auto next = quint8(bytes.at(pos + i));
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

} // namespace

NamePiece namePieceAt(const QByteArray &name, int pos)
{
    NamePiece piece;
    piece.codePoint = quint8(name.at(pos));
    if (piece.codePoint < 0x80)
        return piece;
    char32_t codePoint = 0;
    const int length = utf8SequenceAt(name, pos, &codePoint);
    if (length == 0) {
        piece.utf8 = false;
        return piece;
    }
    piece.codePoint = codePoint;
    piece.length = length;
    return piece;
}

QString deviceNameText(const QByteArray &name)
{
    QString text;
    text.reserve(name.size());
    for (int pos = 0; pos < name.size();) {
        const NamePiece piece = namePieceAt(name, pos);
        // A byte that is not UTF-8 reads as its Latin-1 character.
        text += QString::fromUcs4(&piece.codePoint, 1);
        pos += piece.length;
    }
    return text;
}

QString fileExtension(const QString &name)
{
    const int firstDot = name.indexOf(QLatin1Char('.'));
    if (firstDot <= 0)
        return QString();
    const int start = firstDot + 1;
    const int nextDot = name.indexOf(QLatin1Char('.'), start);
    const int length = nextDot < 0 ? -1 : nextDot - start;
    return name.mid(start, length).toLower();
}

} // namespace CatalogueFormat
