// The first moments after the port opens. Many ESP32 boards restart when
// their port opens (the USB adapter's DTR and RTS drive EN and GPIO0); the
// boot text then arrives where the first answer is expected, and a request
// sent meanwhile is lost. The settler reads and drops what arrives until
// the line has been quiet long enough, then says so; both front ends send
// their first request only then. The same reader drains the rest of a
// reply the program stopped reading (ReplyRemainder) before the next
// request. Qt Core only.
#ifndef LINESETTLER_H
#define LINESETTLER_H

#include "core/exchange.h"
#include "core/replyremainder.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QTimer>

#include <optional>

class QIODevice;

// Finds ESP32 boot text in a run of arrivals, a marker cut in two by the
// arrivals included.
class BootTextWatch
{
public:
    void reset();
    // True once boot text has been among the bytes fed.
    bool feed(const QByteArray &bytes);
    bool seen() const { return m_seen; }

private:
    QByteArray m_tail;
    bool m_seen = false;
};

class LineSettler : public QObject
{
    Q_OBJECT

public:
    // A receiver that restarts on open starts printing within a few tens of
    // milliseconds; this long without a first byte and the line counts as
    // settled, so an ordinary start costs no more than this.
    static constexpr int OpeningQuietMs = 100;
    // Boot text comes in bursts; the ROM and the second-stage loader leave
    // gaps of up to about 150 ms, and the receiver listens only once its own
    // start-up is over. A boot counts as finished after this much silence.
    static constexpr int BootQuietMs = 500;
    static constexpr int SettleLimitMs = ::SettleLimitMs;

    explicit LineSettler(QIODevice *line, QObject *parent = nullptr);

    // From now until settled(), every byte that arrives is read and dropped;
    // a trace following the line records it under traceAs. With the rest of
    // a cut reply still due, the line counts as settled once that many
    // bytes have been dropped and OpeningQuietMs have passed, or once it has
    // been quiet for Remainder::ReplyPauseMs (the rest passed while the
    // port was closed, or the receiver gave it up); boot text means the
    // board restarted and the boot rule applies. Such a drain may last its
    // Remainder::drainLimitMs(), SettleLimitMs at least, and SettleLimitMs
    // more once the bytes due have been counted. A stale remainder is no
    // remainder. A line already quiet for quietSoFarMs (an exchange that got
    // no answer) has that much of its quiet spell behind it; when that is
    // all of it, settled() is emitted before start() returns.
    void start(Exchange traceAs = Exchange::Opening,
               const std::optional<ReplyRemainder> &remainder = std::nullopt, int quietSoFarMs = 0);
    // Bytes of the line that its reader took after start(): judged and
    // dropped as if the settler had read them. A settler made without a
    // line is fed only so.
    void takeArrival(const QByteArray &bytes);
    // Stops without settled(). Closing the line does the same.
    void cancel();

    bool isSettling() const { return m_settling; }
    // ESP32 boot text was among the bytes dropped.
    bool bootSeen() const { return m_boot.seen(); }
    // Bytes read and dropped since start().
    qint64 droppedBytes() const { return m_dropped; }
    // The remainder start() was given, unless it was stale.
    const std::optional<ReplyRemainder> &remainder() const { return m_remainder; }

signals:
    // Quiet for long enough, or SettleLimitMs ran out.
    void settled();

private:
    void onReadyRead();
    void finish();
    int quietSpellMs() const;

    QPointer<QIODevice> m_line;
    Exchange m_traceAs = Exchange::Opening;
    bool m_settling = false;
    BootTextWatch m_boot;
    std::optional<ReplyRemainder> m_remainder;
    qint64 m_dropped = 0;
    QTimer m_quiet;
    QTimer m_limit;
};

#endif // LINESETTLER_H
