#include "core/replyremainder.h"


#include <algorithm>

namespace Remainder {

qint64 wireMs(qint64 count)
{
    if (count <= 0)
        return 0;
    return (count * 1000 + WireBytesPerSecond - 1) / WireBytesPerSecond;
}

qint64 latestEndMs(const ReplyRemainder &remainder)
{
    const qint64 wire = remainder.sizeKnown() ? PauseStretch * wireMs(remainder.bytesDue) : 0;
    return remainder.cutAtMs + wire + SettleLimitMs;
}

bool isStale(const ReplyRemainder &remainder, qint64 nowMs)
{
    return nowMs >= latestEndMs(remainder);
}

qint64 wireMsLeft(const ReplyRemainder &remainder, qint64 nowMs)
{
    if (!remainder.sizeKnown())
        return 0;
    return std::max<qint64>(0, remainder.cutAtMs + wireMs(remainder.bytesDue) - nowMs);
}

qint64 drainLimitMs(const ReplyRemainder &remainder, qint64 nowMs)
{
    return std::max<qint64>(0, latestEndMs(remainder) - nowMs);
}

namespace {

QString cutReply(const ReplyRemainder &remainder, const QString &shownName)
{
    return remainder.exchange == Exchange::Listing ? QStringLiteral("the file list")
           : shownName.isEmpty()                   ? QStringLiteral("a reply")
                                                   : shownName;
}

} // namespace

QString waitingText(const ReplyRemainder &remainder, const QString &shownName, qint64 startedMs, qint64 nowMs)
{
    if (wireMsLeft(remainder, nowMs) > 0 || !remainder.sizeKnown())
        return QStringLiteral("the receiver is ") + waitText(remainder, shownName, nowMs);
    // The drain's own bound, from when it started (LineSettler).
    const qint64 limit = startedMs + std::max<qint64>(drainLimitMs(remainder, startedMs), SettleLimitMs);
    const qint64 seconds = std::max<qint64>(1, (limit - nowMs + 999) / 1000);
    return QStringLiteral("the rest of %1 should have passed; the line is still busy: waiting for it to fall quiet, at "
                          "most %2 s more")
            .arg(cutReply(remainder, shownName), QString::number(seconds));
}

QString waitText(const ReplyRemainder &remainder, const QString &shownName, qint64 nowMs)
{
    const QString what = cutReply(remainder, shownName);
    if (!remainder.sizeKnown())
        return QStringLiteral("perhaps still sending the rest of %1").arg(what);
    // Whole seconds, never "about 0 s": the pauses may still hold some back.
    const qint64 seconds = std::max<qint64>(1, (wireMsLeft(remainder, nowMs) + 999) / 1000);
    return QStringLiteral("still sending the rest of %1, about %2 s").arg(what, QString::number(seconds));
}

} // namespace Remainder
