// What EmulatorHost serves on its line: bytes go in with the time they were
// read, bytes come out when they are due. The caller owns the clock
// (microseconds, never going back). DeviceEngine plays the receiver;
// ReplayEngine plays back a recorded one.
#ifndef LINEENGINE_H
#define LINEENGINE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <functional>
#include <utility>

class LineEngine
{
public:
    static constexpr qint64 NothingDue = -1;

    virtual ~LineEngine() = default;

    // Bytes read from the line at nowUs.
    virtual void receive(const QByteArray &bytes, qint64 nowUs) = 0;
    // The bytes that are due by nowUs, never more than one piece (call again
    // for the next piece). Empty when nothing is due.
    virtual QByteArray takeDueOutput(qint64 nowUs) = 0;
    // When the next byte is due (it may be now or earlier); NothingDue when
    // the engine waits for input.
    virtual qint64 nextDueUs() const = 0;
    // When the last byte of the piece now going out is due: a host may write
    // the bytes before it in batches, but must not be late with this one.
    virtual qint64 pieceEndUs() const { return nextDueUs(); }

    // Whether the engine wants lineOpened(): the host then watches for a
    // client opening the line.
    virtual bool watchesOpens() const = 0;
    // A client opened the line at nowUs.
    virtual void lineOpened(qint64 nowUs) = 0;

    // Whether the engine's line runs at its own pace whether anybody reads
    // or not, as a UART with no flow control does: what falls due while no
    // client has the line open is then lost, not held for the next one.
    virtual bool sendsWithoutReader() const { return false; }

    // True when the line is to be closed (the device unplugged).
    virtual bool lineClosed() const { return false; }
    // A fresh line after a hang-up.
    virtual void reconnect() {}

    // Receives the log lines.
    void setLogger(std::function<void(const QString &)> logger) { m_logger = std::move(logger); }

protected:
    void logAlways(const QString &line) const
    {
        if (m_logger)
            m_logger(line);
    }

    std::function<void(const QString &)> m_logger;
};

#endif // LINEENGINE_H
