// Plays back a recorded receiver (ReplayTrace) on the line: a request the
// trace holds is answered with the pieces recorded after it, each at its
// recorded distance from the request; the boot text recorded after the port
// opened goes out whenever a client opens the line.
//
// Each opening of the line plays the next connection of the trace (the
// window records one at every Connect): the first opening the first, the
// second the second, and so on; once they are all played, every further
// opening plays the last again, and the log says so. Until the line is
// first opened, requests are answered from the first connection.
//
// Bytes read are gathered until they make up a recorded request. A request
// recorded several times with the same bytes is answered as recorded each
// time, in order; past the last time, as the last time. Bytes that can no
// longer begin any recorded request, or that have waited a second for the
// rest, are logged ("request not in the trace") and dropped unanswered; the
// gathering starts again at the first byte that can begin one.
#ifndef REPLAYENGINE_H
#define REPLAYENGINE_H

#include "lineengine.h"
#include "replaytrace.h"

#include <QtCore/QByteArray>
#include <QtCore/QVector>

class ReplayEngine final : public LineEngine
{
public:
    static constexpr qint64 UnmatchedTimeoutUs = 1000000;

    explicit ReplayEngine(const ReplayTrace &trace, bool verbose = false);

    void receive(const QByteArray &bytes, qint64 nowUs) override;
    QByteArray takeDueOutput(qint64 nowUs) override;
    qint64 nextDueUs() const override;

    bool watchesOpens() const override { return true; }
    // Starts the next connection's playback: queued pieces are dropped,
    // every request is answered from its first recording in it, and its
    // opening goes out.
    void lineOpened(qint64 nowUs) override;

    qint64 bytesDropped() const { return m_dropped; }
    // The connection being played, counted from 0.
    int connection() const { return m_connection; }

private:
    // The distinct requests, sorted, each with the exchanges that recorded it.
    struct Request
    {
        QByteArray bytes;
        QVector<int> exchanges;
        int used = 0;
    };
    struct Due
    {
        qint64 atUs;
        QByteArray bytes;
    };

    const ReplayTrace::Connection &played() const { return m_trace.connections.at(m_connection); }
    void play(int connection);
    bool feed(char byte);
    void restartGathering();
    void answer(int request, qint64 nowUs);
    void schedule(qint64 atUs, const QByteArray &bytes);
    void drop(const QByteArray &bytes);
    void log(const QString &line) const;

    ReplayTrace m_trace;
    bool m_verbose;
    int m_connection = 0;
    int m_opens = 0;
    QVector<Request> m_requests; // of the connection played
    // The bytes gathered, and the requests that begin with them: [m_first, m_end).
    QByteArray m_gathered;
    int m_first = 0;
    int m_end = 0;
    qint64 m_lastByteUs = 0;
    QVector<Due> m_out; // in the order they go out
    qint64 m_dropped = 0;
};

#endif // REPLAYENGINE_H
