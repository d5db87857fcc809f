#include "replayengine.h"

#include <QtCore/QMap>

#include <algorithm>

namespace {

QString readable(const QByteArray &bytes)
{
    QString text;
    for (char byte : bytes) {
        const auto code = uchar(byte);
        text += code >= 0x20 && code < 0x7F && byte != '\\'
                ? QString(QLatin1Char(byte))
                : QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace

ReplayEngine::ReplayEngine(const ReplayTrace &trace, bool verbose)
    : m_trace(trace)
    , m_verbose(verbose)
{
    if (m_trace.connections.isEmpty())
        m_trace.connections.append(ReplayTrace::Connection());
    play(0);
}

void ReplayEngine::play(int connection)
{
    m_connection = connection;
    m_requests.clear();
    QMap<QByteArray, QVector<int>> byBytes; // sorted as memcmp sorts
    for (int i = 0; i < played().exchanges.size(); ++i)
        byBytes[played().exchanges.at(i).request].append(i);
    for (auto it = byBytes.cbegin(); it != byBytes.cend(); ++it)
        m_requests.append({it.key(), it.value(), 0});
    restartGathering();
}

void ReplayEngine::log(const QString &line) const
{
    if (m_verbose)
        logAlways(line);
}

void ReplayEngine::restartGathering()
{
    m_gathered.clear();
    m_first = 0;
    m_end = int(m_requests.size());
}

bool ReplayEngine::feed(char byte)
{
    // The requests that begin with the bytes gathered are a run of the
    // sorted list, ordered by their next byte (those that end here first).
    const int at = m_gathered.size();
    const auto next = [at](const Request &request) {
        return request.bytes.size() > at ? int(quint8(request.bytes.at(at))) : -1;
    };
    const int value = quint8(byte);
    const auto begin = m_requests.cbegin();
    const auto first = std::lower_bound(begin + m_first, begin + m_end, value,
                                        [&](const Request &request, int v) { return next(request) < v; });
    const auto end = std::upper_bound(first, begin + m_end, value,
                                      [&](int v, const Request &request) { return v < next(request); });
    if (first == end)
        return false;
    m_first = int(first - begin);
    m_end = int(end - begin);
    m_gathered.append(byte);
    return true;
}

void ReplayEngine::receive(const QByteArray &bytes, qint64 nowUs)
{
    if (bytes.isEmpty())
        return;
    if (!m_gathered.isEmpty() && nowUs - m_lastByteUs >= UnmatchedTimeoutUs) {
        drop(m_gathered);
        restartGathering();
    }
    m_lastByteUs = nowUs;

    QByteArray dropped;
    QByteArray queue = bytes;
    int at = 0;
    while (at < queue.size()) {
        const char byte = queue.at(at++);
        if (!feed(byte)) {
            // Nothing recorded begins so: drop the first byte and look again
            // at the rest, which may begin a request.
            const QByteArray rest = m_gathered + byte;
            restartGathering();
            dropped += rest.at(0);
            queue = rest.mid(1) + queue.mid(at);
            at = 0;
            continue;
        }
        if (m_requests.at(m_first).bytes.size() == m_gathered.size()) {
            answer(m_first, nowUs);
            restartGathering();
        }
    }
    if (!dropped.isEmpty())
        drop(dropped);
}

void ReplayEngine::drop(const QByteArray &bytes)
{
    m_dropped += bytes.size();
    logAlways(QStringLiteral("request not in the trace: %1 bytes: %2").arg(bytes.size()).arg(readable(bytes)));
}

void ReplayEngine::answer(int request, qint64 nowUs)
{
    Request &recorded = m_requests[request];
    const int index = recorded.exchanges.at(std::min(recorded.used, int(recorded.exchanges.size()) - 1));
    ++recorded.used;
    const ReplayTrace::Exchange &exchange = played().exchanges.at(index);
    qint64 replyBytes = 0;
    for (const ReplayTrace::Piece &piece : exchange.reply) {
        schedule(nowUs + piece.offsetUs, piece.bytes);
        replyBytes += piece.bytes.size();
    }
    log(QStringLiteral("%1 (line %2): %3 bytes in %4 pieces")
                .arg(QString::fromLatin1(exchange.label))
                .arg(exchange.line)
                .arg(replyBytes)
                .arg(exchange.reply.size()));
}

void ReplayEngine::schedule(qint64 atUs, const QByteArray &bytes)
{
    // A reply never overtakes the one before it.
    if (!m_out.isEmpty())
        atUs = std::max(atUs, m_out.constLast().atUs);
    m_out.append({atUs, bytes});
}

void ReplayEngine::lineOpened(qint64 nowUs)
{
    m_out.clear();
    const int recorded = int(m_trace.connections.size());
    play(std::min(m_opens, recorded - 1));
    ++m_opens;
    for (const ReplayTrace::Piece &piece : played().opening)
        schedule(nowUs + piece.offsetUs, piece.bytes);
    const QString which = played().line > 0 ? QStringLiteral(" (line %1)").arg(played().line) : QString();
    if (m_opens > recorded && recorded > 1) {
        logAlways(QStringLiteral("line opened %1 times; the trace records %2 connections: playing the last%3 again")
                          .arg(m_opens)
                          .arg(recorded)
                          .arg(which));
    } else {
        log(QStringLiteral("line opened: connection %1 of %2%3, %4 pieces recorded after the open")
                    .arg(m_connection + 1)
                    .arg(recorded)
                    .arg(which)
                    .arg(played().opening.size()));
    }
}

QByteArray ReplayEngine::takeDueOutput(qint64 nowUs)
{
    if (!m_gathered.isEmpty() && nowUs - m_lastByteUs >= UnmatchedTimeoutUs) {
        drop(m_gathered);
        restartGathering();
    }
    if (m_out.isEmpty() || m_out.constFirst().atUs > nowUs)
        return QByteArray();
    return m_out.takeFirst().bytes;
}

qint64 ReplayEngine::nextDueUs() const
{
    qint64 next = m_out.isEmpty() ? NothingDue : m_out.constFirst().atUs;
    if (!m_gathered.isEmpty()) {
        const qint64 timeoutUs = m_lastByteUs + UnmatchedTimeoutUs;
        next = next == NothingDue ? timeoutUs : std::min(next, timeoutUs);
    }
    return next;
}
