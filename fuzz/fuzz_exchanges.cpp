// Every exchange's reply step, without a window: the first input byte picks
// the exchange, the next four the capacity the last memory report gave, the
// rest is the device's byte stream, cut into arrivals at points the input
// chooses. Each arrival goes through the step as a front end feeds it, until
// the step says the exchange is over.
//
// Invariants: no crash or sanitizer report; between arrivals the buffer holds
// less than the reply still awaited; an accepted download size or listing
// never exceeds what a file system of the reported capacity can hold
// (its whole area, the spare blocks included); a
// completed download is exactly the content the stream announced.
#include "core/catalogueformat.h"
#include "core/commandformat.h"
#include "fuzzcheck.h"
#include "core/wireformat.h"
#include "core/transferformat.h"

#include <cstddef>
#include <cstdint>

using namespace CatalogueFormat;
using namespace CommandFormat;
using namespace TransferFormat;

namespace {

enum class Exchange { Memory, Listing, Download, Upload, Remove, Format, Execute };
constexpr int ExchangeCount = 7;

struct State
{
    Exchange exchange = Exchange::Memory;
    quint32 capacity = 0;
    QByteArray stream; // everything the device has sent so far
    QByteArray received;
    qint32 listLength = 0;
    qint64 transferSize = 0;
    QByteArray upload = QByteArray(70, 'u');
    qint64 uploadOffset = 0;
    bool over = false;
};

// What a complete download must hold, if the stream announces one.
bool isAnnouncedContent(const State &state, const QByteArray &content)
{
    const QByteArray &stream = state.stream;
    if (stream.size() < DownloadHeaderSize)
        return false;
    const quint32 size = WireFormat::readBigEndian32(stream, 0);
    return size <= wholeAreaBytes(state.capacity) && stream.size() - DownloadHeaderSize >= qint64(size)
           && content == stream.mid(DownloadHeaderSize, int(size));
}

void step(State &state)
{
    switch (state.exchange) {
    case Exchange::Memory:
        state.over = bool(takeMemoryReply(state.received));
        FUZZ_CHECK(state.over ? state.received.isEmpty() : state.received.size() < MemoryReplySize);
        break;
    case Exchange::Listing: {
        const ListingStep listing = readListingReply(state.received, state.listLength, state.capacity);
        FUZZ_CHECK(quint32(state.listLength) <= maxListingBytes(state.capacity));
        FUZZ_CHECK(quint32(listing.entries.size()) <= maxFileCount(state.capacity));
        state.over = listing.status != ListingStep::Status::Waiting;
        if (state.over)
            FUZZ_CHECK(state.received.isEmpty() && state.listLength == 0);
        else
            FUZZ_CHECK(state.received.size() < (state.listLength == 0 ? ListingPrefixSize : state.listLength));
        break;
    }
    case Exchange::Download: {
        const DownloadStep download = readDownloadReply(state.received, state.transferSize, state.capacity);
        FUZZ_CHECK(quint64(state.transferSize) <= wholeAreaBytes(state.capacity));
        FUZZ_CHECK(download.percent >= 0 && download.percent <= 100);
        switch (download.status) {
        case DownloadStep::Status::Complete:
            FUZZ_CHECK(isAnnouncedContent(state, download.content));
            state.over = true;
            break;
        case DownloadStep::Status::Refused:
        case DownloadStep::Status::BadSize:
            state.over = true;
            break;
        default:
            FUZZ_CHECK(state.received.size() < (state.transferSize == 0 ? DownloadHeaderSize : state.transferSize));
        }
        if (state.over)
            FUZZ_CHECK(state.received.isEmpty() && state.transferSize == 0);
        break;
    }
    case Exchange::Upload: {
        const UploadAnswer answer = takeUploadAnswer(state.received);
        FUZZ_CHECK(state.received.isEmpty());
        if (answer == UploadAnswer::Ready) {
            const qint64 before = state.uploadOffset;
            const QByteArray frame = nextUploadFrame(state.upload, state.uploadOffset);
            FUZZ_CHECK(frame.startsWith(WireFormat::Preamble));
            FUZZ_CHECK(state.uploadOffset <= state.upload.size());
            FUZZ_CHECK(frame.size() == WireFormat::PreambleSize + 1
                       + (state.uploadOffset == before ? 0 : 1 + state.uploadOffset - before));
        }
        state.over = answer == UploadAnswer::Finished || answer == UploadAnswer::Stopped;
        break;
    }
    case Exchange::Remove: {
        const RemoveAnswer answer = takeRemoveAnswer(state.received);
        FUZZ_CHECK(state.received.isEmpty());
        state.over = answer == RemoveAnswer::Removed || answer == RemoveAnswer::Refused;
        break;
    }
    case Exchange::Format:
        state.over = takeFormatAnswer(state.received) == FormatAnswer::Formatted;
        FUZZ_CHECK(state.received.isEmpty());
        break;
    case Exchange::Execute:
        state.over = takeExecuteAnswer(state.received) != ExecuteAnswer::Waiting;
        FUZZ_CHECK(state.over && state.received.isEmpty());
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    State state;
    state.exchange = Exchange(data[0] % ExchangeCount);
    state.capacity = WireFormat::readBigEndian32(QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), 4));
    size_t pos = 5;
    while (pos < size && !state.over) {
        const size_t length = std::min<size_t>(data[pos] % 48 + 1, size - pos - 1);
        ++pos;
        const QByteArray arrival(reinterpret_cast<const char *>(data + pos), int(length));
        pos += length;
        if (arrival.isEmpty())
            break;
        state.stream += arrival;
        state.received += arrival;
        step(state);
    }
    return 0;
}
