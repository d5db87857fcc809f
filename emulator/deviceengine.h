// The receiver's side of the serial line, with no I/O of its own: bytes go
// in with the time they were read, answers come out when they are due. The
// caller owns the clock (microseconds, never going back), so the pacing,
// gaps, time-outs and the boot banner can be checked without waiting. What
// each command does to the store and answers is ReceiverCommands'.
//
// Frames: the 16-byte preamble, a command letter, the letter's payload.
// Bytes that do not start a frame are skipped up to the next preamble.
//
// What the firmware does where the program leaves it open:
// - A path field longer than MaxPathField bytes, or an unknown letter, marks
//   a broken frame: nothing is answered and the search for a preamble goes on
//   from the byte after the broken frame's first one.
// - A frame still incomplete after frameTimeoutUs of silence is dropped.
// - "Q" is a software reset: queued answers are lost, an open upload is
//   abandoned, and bytes that arrive before the boot banner has ended are lost
//   as well (the UART is not listening yet).
// - A silent letter is carried out; only its answer is withheld.
#ifndef DEVICEENGINE_H
#define DEVICEENGINE_H

#include "devicestore.h"
#include "engineoptions.h"
#include "lineengine.h"
#include "receivercommands.h"

#include <QtCore/QByteArray>
#include <QtCore/QByteArrayList>
#include <QtCore/QRandomGenerator>
#include <QtCore/QString>
#include <QtCore/QVector>

class DeviceEngine final : public LineEngine
{
public:
    static constexpr char Preamble[] = "K-Wanderer______";
    static constexpr int PreambleSize = 16;
    static constexpr int MaxChunk = ReceiverCommands::MaxChunk;
    static constexpr quint32 MaxPathField = 1024;

    explicit DeviceEngine(const EngineOptions &options = EngineOptions());

    // False when the store's folder could not be used; error() says why.
    bool isReady() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    void receive(const QByteArray &bytes, qint64 nowUs) override;
    QByteArray takeDueOutput(qint64 nowUs) override;
    qint64 nextDueUs() const override;
    qint64 pieceEndUs() const override;

    // With bootOnOpen, a client opening the line resets the receiver, as the
    // DTR and RTS lines of a USB serial adapter do: as after "Q", with the
    // boot banner even when "Q" is silent.
    bool watchesOpens() const override { return m_options.bootOnOpen; }
    void lineOpened(qint64 nowUs) override;
    // A paced receiver sends the rest of a reply whether or not the port is
    // open on the computer's side, as the real one does behind its CP210x:
    // the bytes that arrive while the port is closed are lost.
    bool sendsWithoutReader() const override { return m_options.baud > 0; }

    // True once --hangup-after has been reached: the line is to be closed.
    bool lineClosed() const override { return m_lineClosed; }
    // A fresh line (the device plugged in again): the parser starts empty and
    // the hang-up is not armed again. The store and the log are kept.
    void reconnect() override;

    bool isBooting(qint64 nowUs) const { return nowUs < m_bootEndUs; }
    qint64 bootEndUs() const { return m_bootEndUs; }

    DeviceStore &store() { return m_commands.store(); }
    const DeviceStore &store() const { return m_commands.store(); }
    const EngineOptions &options() const { return m_options; }

    // Paths of the files opened by "X", in order.
    const QByteArrayList &openedFiles() const { return m_commands.openedFiles(); }
    // Counters for tests and benchmarks.
    int framesHandled() const { return m_framesHandled; }
    qint64 bytesSkipped() const { return m_bytesSkipped; }
    qint64 bytesSent() const { return m_bytesSent; }
    bool uploadOpen() const { return m_commands.uploadOpen(); }

    // The logger (setLogger()) gets the files opened, the files corrupted,
    // and with verbose everything else.

    // The text a reset prints, and when each piece of it goes out (after the
    // reset, in microseconds). The last piece ends the boot.
    struct BannerPiece
    {
        qint64 offsetUs;
        QByteArray text;
    };
    static QVector<BannerPiece> bootBanner();
    static qint64 bootDurationUs();

private:
    // One reply, cut into pieces of pieceSize bytes with gapUs between them.
    struct Segment
    {
        QByteArray bytes;
        qint64 startUs = 0; // when its first byte starts on the wire
        int pieceSize = 1;
        qint64 gapUs = 0;
        int taken = 0;
    };
    enum class Parse { Handled, NeedMore, Broken };

    // The first reply with bytes still to send, if any.
    const Segment *pendingSegment() const;
    void parseBuffer(qint64 chunkStartUs, int chunkSize);
    Parse parseFrame(int *frameSize) const;
    void handle(char letter, const QByteArray &payload, qint64 doneUs);
    void reply(char letter, const QByteArray &bytes, qint64 readyUs);
    void schedule(const QByteArray &bytes, qint64 readyUs, int pieceSize, qint64 gapUs);
    void reboot(qint64 doneUs, bool banner);
    void skip(int count);
    void log(const QString &line);

    qint64 wireUs(qint64 byteCount) const;
    qint64 lastActivityUs() const;
    bool idleForGarbage() const;

    EngineOptions m_options;
    ReceiverCommands m_commands;
    QString m_error;

    QByteArray m_rx;         // bytes not yet parsed; starts at a preamble or part of one
    qint64 m_rxWireFreeUs = 0; // when the last received byte ended on the wire
    qint64 m_txWireFreeUs = 0; // when the last queued byte ends on the wire
    qint64 m_bootEndUs = 0;
    QVector<Segment> m_out;

    QRandomGenerator m_noise{0x5350u};
    qint64 m_lastGarbageUs = 0;

    bool m_lineClosed = false;
    bool m_hangUpArmed = true;
    qint64 m_bytesSent = 0;
    qint64 m_bytesSkipped = 0;
    int m_framesHandled = 0;
};

#endif // DEVICEENGINE_H
