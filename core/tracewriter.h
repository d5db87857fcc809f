// Writes what crossed the line as a trace a person can read and the
// emulator can play back (format version 1):
//
//   # spiffs-cli trace 1
//   # comment lines start with "#"
//          0 < OPEN     12  65 74 73 20 4a 75 6e 20 20 38 20 32              |ets Jun  8 2|
//        512 > MEMORY   17  4b 2d 57 61 6e 64 65 72 65 72 5f 5f 5f 5f 5f 5f  |K-Wanderer______|
//                           4d                                               |M|
//
// One record per write (">") or read ("<"): microseconds since the port
// opened, the direction, the exchange, the byte count, then the bytes 16 to
// a line in hex and as text. Every record is flushed as it is written, so a
// trace survives a crash or an interrupt.
//
// The writer follows a port, not a front end: whatever goes through
// ReceiverLine::write() and ReceiverLine::readAll() on that port is
// recorded, whether the window or DeviceSession moves it. The header names
// spiffs-cli whoever writes it: that is what the emulator's replay reads.
// Qt Core only.
#ifndef TRACEWRITER_H
#define TRACEWRITER_H

#include <QtCore/QByteArray>
#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QStringList>

class QIODevice;

class TraceWriter : public QObject
{
    Q_OBJECT

public:
    enum class Direction { ToReceiver, FromReceiver };
    static constexpr int FormatVersion = 1;
    static constexpr int BytesPerLine = 16;

    // output is opened for writing by the caller and outlives the writer.
    explicit TraceWriter(QIODevice *output, QObject *parent = nullptr);
    ~TraceWriter() override;

    // The format line; comments follow it with writeComment().
    void writeHeader();
    void writeComment(const QString &text);
    // "PROGRAM VERSION, DATE" and "command: PROGRAM ARGUMENTS", the
    // arguments as typed, one space between each.
    void writeProgramComments(const QString &program, const QString &version, const QStringList &arguments);
    // Time zero of the records: the moment the port opened.
    void startClock();
    // A port has just opened: the clock starts again and a comment names
    // the port and its line settings (ReceiverLine::description()).
    void startPort(const QString &lineDescription);
    void writeRecord(Direction direction, const QString &exchange, const QByteArray &bytes);

    // Records every byte moved on port from now on, until another port is
    // followed (nullptr: none) or the writer is gone.
    void follow(QIODevice *port);
    // The writer following port, if any.
    static TraceWriter *followerOf(const QIODevice *port);

    // False once a write to the output failed (a full disk): the trace ends
    // there, and failure() says why.
    bool isWriting() const { return m_writing; }
    QString failure() const { return m_failure; }

    static QByteArray formatRecord(qint64 timeUs, Direction direction, const QString &exchange,
                                   const QByteArray &bytes);

signals:
    // Once, when the trace could be written no further.
    void stoppedWriting(const QString &reason);

private:
    void put(const QByteArray &text);

    QIODevice *m_output;
    QPointer<QIODevice> m_followed;
    QElapsedTimer m_clock;
    bool m_writing = true;
    QString m_failure;
};

#endif // TRACEWRITER_H
