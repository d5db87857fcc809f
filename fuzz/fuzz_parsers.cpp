// Every pure parser of device replies and every name rule, on arbitrary bytes.
#include "core/catalogueformat.h"
#include "fuzzcheck.h"
#include "core/wireformat.h"
#include "core/transferformat.h"

#include <cstddef>
#include <cstdint>

using namespace CatalogueFormat;
using namespace TransferFormat;

namespace {

void checkMemoryReply(const QByteArray &bytes)
{
    if (bytes.size() < MemoryReplySize)
        return;
    const MemoryFigures figures = decodeMemoryReply(bytes);
    FUZZ_CHECK(WireFormat::bigEndian32(figures.totalBytes) == bytes.left(4));
    FUZZ_CHECK(WireFormat::bigEndian32(figures.usedBytes) == bytes.mid(4, 4));
    const GaugeSetting gauge = gaugeSetting(figures);
    FUZZ_CHECK(gauge.maximum >= 0 && gauge.value >= 0 && gauge.value <= gauge.maximum);
    // A full receiver reports more used than its total: nothing is free then.
    if (figures.usedBytes <= figures.totalBytes)
        FUZZ_CHECK(freeBytes(figures) + figures.usedBytes == figures.totalBytes);
    else
        FUZZ_CHECK(freeBytes(figures) == 0);
}

void checkListing(const QByteArray &bytes)
{
    const Listing listing = parseListingEntries(bytes);
    qint64 consumed = 0;
    for (const ListingEntry &entry : listing.entries) {
        FUZZ_CHECK(entry.name.size() <= 255);
        consumed += ListingEntryHeaderSize + entry.name.size();
    }
    FUZZ_CHECK(consumed <= bytes.size());
    FUZZ_CHECK(listing.malformed == (consumed != bytes.size()));
    // Re-encoding the whole entries gives back the bytes they came from.
    QByteArray encoded;
    for (const ListingEntry &entry : listing.entries)
        encoded += bytes.mid(int(encoded.size()), 3) + char(entry.name.size())
                   + WireFormat::bigEndian32(entry.size) + entry.name;
    FUZZ_CHECK(encoded == bytes.left(int(consumed)));
}

void checkNames(const QByteArray &bytes)
{
    const QString text = deviceNameText(bytes);
    FUZZ_CHECK(text.size() <= bytes.size());
    FUZZ_CHECK(deviceNameText(text.toUtf8()) == text);

    const QString type = fileExtension(text);
    FUZZ_CHECK(type == type.toLower());
    FUZZ_CHECK(!type.contains(QLatin1Char('.')));

    const QString local = localFileName(text);
    FUZZ_CHECK(!local.isEmpty() && local != QLatin1String(".") && local != QLatin1String(".."));
    for (QChar c : local) {
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7F);
        FUZZ_CHECK(!QStringLiteral("/\\<>:\"|?*").contains(c));
    }

    const QString upload = uploadName(text);
    FUZZ_CHECK(upload.size() <= MaxUploadNameLength);
    for (QChar c : upload) {
        const char16_t u = c.unicode();
        FUZZ_CHECK((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')
                   || QStringLiteral("_'()*+,-.").contains(c));
    }
    if (uploadNameAcceptable(upload) && upload.contains(QLatin1Char('.')))
        FUZZ_CHECK(!fileExtension(upload).isEmpty());
}

void checkPercentages(const QByteArray &bytes)
{
    if (bytes.size() < 8)
        return;
    const qint64 a = WireFormat::readBigEndian32(bytes, 0) & MaxDownloadBytes;
    const qint64 b = WireFormat::readBigEndian32(bytes, 4) & MaxDownloadBytes;
    const int down = downloadPercent(a, b);
    FUZZ_CHECK(down >= 0 && down <= 100);
    FUZZ_CHECK((down == 100) == (a >= b));
    const int up = uploadPercent(std::min(a, b), b);
    FUZZ_CHECK(up >= 0 && up <= 100);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    checkMemoryReply(bytes);
    checkListing(bytes);
    // A name arrives with a one-byte length: longer ones never reach these
    // rules, and would only spend the run in them.
    checkNames(bytes.left(MaxListedNameBytes));
    checkPercentages(bytes);
    return 0;
}
