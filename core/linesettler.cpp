#include "core/linesettler.h"

#include "core/receiverline.h"

#include <QtCore/QDateTime>
#include <QtCore/QIODevice>

#include <algorithm>
#include <limits>

void BootTextWatch::reset()
{
    m_tail.clear();
    m_seen = false;
}

bool BootTextWatch::feed(const QByteArray &bytes)
{
    const QByteArray seen = m_tail + bytes;
    if (seen.contains("rst:") || seen.contains("ets ") || seen.contains("boot:"))
        m_seen = true;
    m_tail = seen.right(4);
    return m_seen;
}

LineSettler::LineSettler(QIODevice *line, QObject *parent) : QObject(parent), m_line(line)
{
    m_quiet.setSingleShot(true);
    m_limit.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and a boot that pauses just
    // under the quiet spell would then be cut off.
    m_quiet.setTimerType(Qt::PreciseTimer);
    connect(&m_quiet, &QTimer::timeout, this, &LineSettler::finish);
    connect(&m_limit, &QTimer::timeout, this, &LineSettler::finish);
    if (!line)
        return;
    connect(line, &QIODevice::readyRead, this, &LineSettler::onReadyRead);
    connect(line, &QIODevice::aboutToClose, this, &LineSettler::cancel);
}

void LineSettler::start(Exchange traceAs, const std::optional<ReplyRemainder> &remainder, int quietSoFarMs)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_traceAs = traceAs;
    m_boot.reset();
    m_dropped = 0;
    m_remainder = remainder && !Remainder::isStale(*remainder, now) ? remainder : std::nullopt;
    m_settling = true;
    const int quietLeftMs = quietSpellMs() - std::max(0, quietSoFarMs);
    if (quietLeftMs <= 0) {
        // Settled already: a zero timer would leave the buttons busy until
        // the event loop's next pass.
        finish();
        return;
    }
    m_quiet.start(quietLeftMs);
    qint64 limit = SettleLimitMs;
    if (m_remainder)
        limit = std::max(limit, Remainder::drainLimitMs(*m_remainder, now));
    m_limit.start(int(std::min<qint64>(limit, std::numeric_limits<int>::max())));
}

int LineSettler::quietSpellMs() const
{
    if (m_boot.seen())
        return BootQuietMs;
    if (!m_remainder)
        return OpeningQuietMs;
    // Counted to the end on a line that stayed open: the rest has passed.
    if (m_remainder->sizeKnown() && m_dropped >= m_remainder->bytesDue)
        return OpeningQuietMs;
    return Remainder::ReplyPauseMs;
}

void LineSettler::cancel()
{
    m_settling = false;
    m_quiet.stop();
    m_limit.stop();
}

void LineSettler::onReadyRead()
{
    if (!m_settling || !m_line)
        return;
    takeArrival(ReceiverLine::readAll(*m_line, m_traceAs));
}

void LineSettler::takeArrival(const QByteArray &bytes)
{
    if (!m_settling || bytes.isEmpty())
        return;
    const bool counted = m_remainder && m_remainder->sizeKnown() && m_dropped < m_remainder->bytesDue;
    m_dropped += bytes.size();
    m_boot.feed(bytes);
    m_quiet.start(quietSpellMs());
    // The rest has passed; a line that goes on talking after it is held up
    // no longer than at any opening.
    if (counted && m_dropped >= m_remainder->bytesDue && m_limit.remainingTime() > SettleLimitMs)
        m_limit.start(SettleLimitMs);
}

void LineSettler::finish()
{
    if (!m_settling)
        return;
    cancel();
    emit settled();
}
