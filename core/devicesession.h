// Runs the receiver's exchanges on a line the caller owns and has opened (a
// QSerialPort at 115200 8N1 in production), one at a time and in the order
// asked. Each request returns a DeviceReply that emits finished() once the
// exchange is over, well or not; requests made while another runs wait for
// it. Requests are built by the core's builders and replies read by its step
// functions, so whoever runs a session sends the bytes every user of the
// core sends.
//
// The protocol has no sequence numbers, so nothing that may have been
// carried out is sent again: an exchange that meets silence longer than
// timeout() fails with TimeoutError and the caller decides what to do, and
// an upload's "A" that comes after its end frame is dropped. Only a read
// (a memory report, a listing, a download) that came with bytes nobody asked
// for is asked once more, with the clean-line check on, once they are
// drained (setCleanLineCheck()). Bytes that arrive between exchanges answer
// nothing and are dropped. An exchange cut short (aborted, timed out, or
// answered with what does not fit) leaves the rest of its reply on the way:
// the session keeps it (remainder()) and drains it before it sends the next
// request (ReplyRemainder).
//
// Qt Core and SerialPort only.
#ifndef DEVICESESSION_H
#define DEVICESESSION_H

#include "core/catalogueformat.h"
#include "core/devicereply.h"
#include "core/exchange.h"
#include "core/linesettler.h"
#include "core/replyremainder.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QQueue>
#include <QtCore/QString>
#include <QtCore/QTimer>
#include <QtCore/QVector>

#include <optional>

class QIODevice;

class DeviceSession : public QObject
{
    Q_OBJECT

public:
    // settle()'s spells (LineSettler).
    static constexpr int OpeningQuietMs = LineSettler::OpeningQuietMs;
    static constexpr int BootQuietMs = LineSettler::BootQuietMs;
    static constexpr int SettleLimitMs = LineSettler::SettleLimitMs;

    explicit DeviceSession(QIODevice *line, QObject *parent = nullptr);
    ~DeviceSession() override;

    // Milliseconds of silence after which the running exchange fails with
    // TimeoutError; 0 (the default) waits for ever. Takes effect from the
    // next byte written or read.
    void setTimeout(int msecs) { m_timeoutMs = qMax(0, msecs); }
    int timeout() const { return m_timeoutMs; }

    // A stream still running (the rest of a reply nobody read) sends its
    // next bytes within a few byte times. With the check on, a reply of known
    // length (a memory report, a listing, a download) is believed only when
    // nothing came with it or in the CleanLineMs after it; else the line was
    // not clean: it is drained by the settle's rules and the request asked
    // again, once. A second time, or a download already handed on as it came,
    // fails with BadReplyError. Off by default: the window reads its replies
    // as it always has.
    static constexpr int CleanLineMs = 5;
    void setCleanLineCheck(bool on) { m_cleanLineCheck = on; }

    // Waits for a quiet spell and drops what arrived; when that was ESP32
    // boot text, waits for the boot to end (LineSettler). Meant to come first.
    // With the rest of a reply an earlier run cut short, waits for that to
    // pass as well.
    DeviceReply *settle(const std::optional<ReplyRemainder> &remainder = std::nullopt);

    DeviceReply *requestMemoryReport();
    // Listings and downloads are read against the capacity of the last
    // memory report; without one, the exchange asks for it first.
    DeviceReply *requestListing();
    // listedSize is the file's size in the listing, when the caller has it:
    // a download cut before the receiver's size arrived still knows how
    // much of it is on the way.
    DeviceReply *download(const QByteArray &name, qint64 listedSize = -1);
    // The same, handing the content on through contentArrived() as it comes
    // instead of gathering it: memory stays bounded by one arrival.
    DeviceReply *downloadStreamed(const QByteArray &name, qint64 listedSize = -1);
    DeviceReply *upload(const QByteArray &name, const QByteArray &content);
    DeviceReply *remove(const QByteArray &name);
    DeviceReply *format();
    DeviceReply *execute(const QByteArray &name);
    // Finishes once the receiver has restarted: its boot text, then
    // BootQuietMs of silence.
    DeviceReply *reboot();

    // Fails the running exchange and every waiting one with AbortedError.
    // The receiver may still be in the middle of the running one.
    void abort();

    bool isBusy() const { return m_current.kind != Exchange::Idle; }
    // The rest of a reply cut short and not yet drained: what may still be
    // arriving, and what the next request waits for.
    const std::optional<ReplyRemainder> &remainder() const { return m_remainder; }
    // What the bytes now on the line belong to: Opening before the first
    // request, Idle between two, else the running exchange (Memory while a
    // listing or download first asks for the capacity).
    Exchange currentExchange() const { return m_lineExchange; }

signals:
    void exchangeEnded(DeviceReply *reply);

private:
    struct Request
    {
        Exchange kind = Exchange::Idle; // Opening: settle()
        QPointer<DeviceReply> reply;
        QByteArray name;
        QByteArray content; // what an upload sends
        bool streamed = false;
        qint64 listedSize = -1; // a download's size in the listing, when known
        bool askedAgain = false; // asked a second time after a line that was not clean
    };

    DeviceReply *enqueue(Exchange kind, const QByteArray &name = QByteArray(),
                         const QByteArray &content = QByteArray(), bool streamed = false, qint64 listedSize = -1);
    void startNext();
    void startCurrent();
    void sendRequestNeedingCapacity();
    void send(const QByteArray &frame);
    void onReadyRead();
    void onSilence();
    void onSettled();
    void onQuietSpell();
    void onLineLost(const QString &reason);
    void failAll(DeviceReply::Error error, const QString &reason);
    void handleArrival();
    void handleListingArrival();
    void handleDownloadArrival();
    void handleCommandAnswer();
    void handleUploadAnswer();
    std::optional<CatalogueFormat::MemoryFigures> takeFittingMemoryReply(int *surplus);
    void finishWhenLineClean(int surplus);
    void onLineNotClean();
    // An answer that cannot be the receiver's: with the check on, a line not
    // clean, asked again once; else the exchange fails with reason.
    void failOrAskAgain(const QString &reason);
    std::optional<ReplyRemainder> cutShortRemainder(const Request &done, DeviceReply::Error error) const;
    void armSilenceTimer();
    void finishCurrent(DeviceReply::Error error = DeviceReply::NoError, const QString &errorString = QString());

    QPointer<QIODevice> m_line;
    int m_timeoutMs = 0;
    QQueue<Request> m_waiting;
    Request m_current;
    Exchange m_lineExchange = Exchange::Opening;
    bool m_lineLost = false;
    QString m_lineLostReason;
    bool m_askingCapacityFirst = false;

    QByteArray m_received;
    qint32 m_listLength = 0;
    qint64 m_transferSize = 0;
    qint64 m_delivered = 0; // a streamed download's content handed on
    qint64 m_uploadOffset = 0;
    bool m_uploadEndSent = false;
    BootTextWatch m_rebootText;

    std::optional<CatalogueFormat::MemoryFigures> m_memory;
    std::optional<ReplyRemainder> m_remainder;
    QTimer m_silenceTimer;
    QTimer m_quietTimer; // after a reboot's boot text
    LineSettler m_settler;
    bool m_cleanLineCheck = false;
    QTimer m_cleanTimer; // after a reply of known length, while the check is on
};

#endif // DEVICESESSION_H
