// Byte-level format of the memory report and the file listing, and the
// file-type rule. Qt Core only.
#ifndef CATALOGUEFORMAT_H
#define CATALOGUEFORMAT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <limits>
#include <optional>

namespace CatalogueFormat {

inline constexpr int MemoryReplySize = 8;

struct MemoryFigures
{
    quint32 totalBytes = 0;
    quint32 usedBytes = 0;
};

QByteArray memoryRequest();

// Capacity and bytes in use from the first eight bytes of reply.
MemoryFigures decodeMemoryReply(const QByteArray &reply);

// The memory reply, once its eight bytes are in: they are taken from
// received, and whatever came after them is dropped.
std::optional<MemoryFigures> takeMemoryReply(QByteArray &received);

// No ESP32 takes more than 16 MiB of flash, so no receiver's file system is
// larger: a report, a listing or a file beyond it is not the receiver's.
inline constexpr quint32 MaxFlashBytes = 16 * 1024 * 1024;

// SPIFFS reports its total without the two blocks it keeps spare for its
// own housekeeping, and what is used over the whole area, spare blocks
// included: a nearly full receiver reports up to two blocks (4 KiB each on
// an ESP32) and a page more used than its total. That is the receiver's own
// report, of a receiver with no room left.
inline constexpr quint32 SpareBlockBytes = 4096;
inline constexpr quint32 UsedBeyondTotalBytes = 2 * SpareBlockBytes + 256;

// Why a memory report cannot be the receiver's (more used than SPIFFS ever
// reports, a total no flash holds), in words for a message; empty when it
// fits. Such a report is refused, never shown: it is most often another
// reply's bytes.
QString memoryReportProblem(const MemoryFigures &figures);

// The room left: the total less what is used, and none, never a wrapped
// figure, when a full receiver reports more used than its total.
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
inline constexpr int MaxListedNameBytes = 255;
// No flash of an ESP32 holds a listing this long; anything larger is garbage.
inline constexpr quint32 MaxListingBytes = MaxFlashBytes;
// SPIFFS gives every file at least one page of this size.
inline constexpr quint32 PageSize = 256;
static_assert(UsedBeyondTotalBytes == 2 * SpareBlockBytes + PageSize);

// What the file system of a reported total spans, the spare blocks
// included: no file and no listing of it is larger.
quint64 wholeAreaBytes(quint32 capacity);

// Files a file system of this capacity can hold: one per page.
quint32 maxFileCount(quint32 capacity);
// The longest listing such a file system can send: every page a file, every
// name as long as the entry allows.
quint32 maxListingBytes(quint32 capacity);

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

// Entries beyond maxEntries make the listing malformed; they are not kept.
Listing parseListingEntries(const QByteArray &body, int maxEntries = std::numeric_limits<int>::max());

QByteArray listingRequest();

// One arrival of the listing reply, read against the capacity of the last
// memory report. listLength is 0 until the length prefix has been taken,
// then the announced length.
struct ListingStep
{
    enum class Status { Waiting, Complete, Malformed };
    Status status = Status::Waiting;
    // The prefix was taken on this arrival: the listing now under way
    // replaces whatever was shown before.
    bool started = false;
    QVector<ListingEntry> entries; // Complete or Malformed: the whole entries
    // Complete: bytes that came after the listing's end in the same
    // arrival, dropped; a line that carries them was not clean.
    int surplus = 0;
};
// Takes the prefix from received as soon as it is in, and the entries once
// they are all in; a finished listing leaves received empty and released.
ListingStep readListingReply(QByteArray &received, qint32 &listLength, quint32 capacity);

// Name bytes as text: UTF-8 where the bytes are valid UTF-8, every other byte
// as its Latin-1 character, so every name shows as something readable.
// Two names can read alike so ("x\xff" and the UTF-8 of "x\u00ff"): where
// a name must stand for one file only, its bytes decide.
QString deviceNameText(const QByteArray &name);

// A name's piece at pos: a well-formed UTF-8 character, or a single byte
// that is not one (then codePoint is the byte's value).
struct NamePiece
{
    char32_t codePoint = 0;
    int length = 1; // bytes
    bool utf8 = true;
};
NamePiece namePieceAt(const QByteArray &name, int pos);

// The lower-cased text between the first "." and the next "." (or the end);
// empty when there is no "." or the name starts with one.
QString fileExtension(const QString &name);

} // namespace CatalogueFormat

#endif // CATALOGUEFORMAT_H
