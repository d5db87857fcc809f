// The rest of a reply the program stopped reading. The receiver has no way
// to be told to stop: once it has begun a file or a listing it sends every
// byte, whether the program still reads or not, and whatever it sends after
// the next request would be read as that request's answer. So no request
// goes out while an earlier reply may still be arriving: the program keeps
// what it knows of the cut reply, and the next opening of the line (or the
// next request on a line still open) waits for the rest to pass and drops
// it (LineSettler). Both front ends keep and drain it through these rules.
// Qt Core only.
#ifndef REPLYREMAINDER_H
#define REPLYREMAINDER_H

#include "core/exchange.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

struct ReplyRemainder
{
    static constexpr qint64 UnknownSize = -1;

    QByteArray name; // the device file a download was reading; empty for a listing
    Exchange exchange = Exchange::Download;
    // Bytes of the reply still to come when it was cut; UnknownSize when it
    // was cut before its size had arrived.
    qint64 bytesDue = UnknownSize;
    qint64 cutAtMs = 0; // milliseconds since the epoch, so a note outlives the process

    bool sizeKnown() const { return bytesDue >= 0; }
};

namespace Remainder {

// 115200 baud, ten bits a byte (start, eight data, stop).
inline constexpr qint64 WireBytesPerSecond = 11520;

// The longest silence the receiver keeps inside one reply. Pauses of 150 to
// 300 ms have been seen while it reads its flash; three times the longest
// is a spell no reply still under way stays quiet for, and short enough not
// to keep a user waiting for a line that has already finished.
inline constexpr int ReplyPauseMs = 1000;

// How much longer than its bytes alone a reply may take: the receiver reads
// its flash in pieces and may pause up to 300 ms after one of 512 bytes,
// which the line carries in 44 ms.
inline constexpr int PauseStretch = 8;

// How long count bytes take on the line, rounded up.
qint64 wireMs(qint64 count);

// When the rest has certainly gone by: its wire time stretched by the
// pauses, plus the settle's own bound for whatever the receiver adds. A
// remainder of unknown size is bounded by the settle alone.
qint64 latestEndMs(const ReplyRemainder &remainder);

// Its time has passed: nothing of it can still be on the way.
bool isStale(const ReplyRemainder &remainder, qint64 nowMs);

// How much longer the rest takes on the line at full speed, from nowMs.
qint64 wireMsLeft(const ReplyRemainder &remainder, qint64 nowMs);

// How long a drain started at nowMs may last at most.
qint64 drainLimitMs(const ReplyRemainder &remainder, qint64 nowMs);

// What the program waits for, after "ESP32: " or "the receiver is ":
// "still sending the rest of big.mp3, about 14 s", "still sending the rest
// of the file list, about 1 s", or, of unknown size, "perhaps still sending
// the rest of big.mp3". shownName is the file's name as the front end shows
// names.
QString waitText(const ReplyRemainder &remainder, const QString &shownName, qint64 nowMs);

// The wait as it goes on, started at startedMs, in a sentence of its own:
// "the receiver is " and waitText() while the rest may still be on the
// line at full speed; once its time is over and the line has not yet
// fallen quiet, "the rest of big.mp3 should have passed; the line is still
// busy: waiting for it to fall quiet, at most 9 s more".
QString waitingText(const ReplyRemainder &remainder, const QString &shownName, qint64 startedMs, qint64 nowMs);

} // namespace Remainder

#endif // REPLYREMAINDER_H
