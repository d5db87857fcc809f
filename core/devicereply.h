// How one exchange with the receiver ended, in the manner of Qt's own reply
// objects: DeviceSession makes one for each request, emits finished() once
// the exchange is over, well or not, and fills in what the receiver sent.
// Qt Core only.
//
// A reply belongs to whoever asked for it. The session makes it its child
// only so that a reply nobody deletes goes with the session; it never
// deletes one itself, and holds each through a guarded pointer, so the
// caller may delete a finished reply whenever it likes (with deleteLater()
// from a slot connected to it, as Qt's own replies are). A caller that asks
// many times deletes each reply once it has read it, or every reply and
// what it holds (a whole downloaded file) stays until the session goes:
// OwnedReply does that for it.
#ifndef DEVICEREPLY_H
#define DEVICEREPLY_H

#include "core/catalogueformat.h"
#include "core/exchange.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QVector>

class DeviceReply : public QObject
{
    Q_OBJECT

public:
    enum Error {
        NoError,
        RefusedError,  // the receiver said no: no such file, no room, a type it does not open
        BadReplyError, // an answer that does not fit the request
        TimeoutError,  // the receiver was silent longer than the session's time-out
        LineLostError, // the port failed or the receiver was unplugged
        AbortedError,  // DeviceSession::abort()
    };
    Q_ENUM(Error)

    // Exchange::Opening for settle().
    Exchange exchange() const { return m_exchange; }
    // The device file the request names; empty for the others.
    QByteArray deviceName() const { return m_deviceName; }

    bool isFinished() const { return m_finished; }
    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }

    // Results, valid once finished without an error.
    CatalogueFormat::MemoryFigures memory() const { return m_memory; }
    QVector<CatalogueFormat::ListingEntry> entries() const { return m_entries; }
    QByteArray content() const { return m_content; }
    // settle() and reboot(): ESP32 boot text was among the bytes read.
    bool bootSeen() const { return m_bootSeen; }

    // Content bytes moved so far and announced in all: downloads and
    // listings count what has arrived, uploads what the receiver has taken.
    // They stay set after a failure, to say how far it got.
    qint64 bytesDone() const { return m_bytesDone; }
    qint64 bytesTotal() const { return m_bytesTotal; }

signals:
    void finished();
    void errorOccurred(DeviceReply::Error error);
    void progress(qint64 done, qint64 total);
    // A streamed download's content, as it arrives; content() stays empty.
    void contentArrived(const QByteArray &piece);

private:
    friend class DeviceSession;
    DeviceReply(Exchange exchange, const QByteArray &deviceName, QObject *parent);
    void setProgress(qint64 done, qint64 total);
    void finish(Error error = NoError, const QString &errorString = QString());

    Exchange m_exchange;
    QByteArray m_deviceName;
    bool m_finished = false;
    Error m_error = NoError;
    QString m_errorString;
    CatalogueFormat::MemoryFigures m_memory;
    QVector<CatalogueFormat::ListingEntry> m_entries;
    QByteArray m_content;
    bool m_bootSeen = false;
    qint64 m_bytesDone = 0;
    qint64 m_bytesTotal = 0;
};

// A reply held by the one who asked for it, handed to deleteLater() when the
// holder goes or takes another.
class OwnedReply
{
public:
    OwnedReply() = default;
    explicit OwnedReply(DeviceReply *reply) : m_reply(reply) {}
    ~OwnedReply() { reset(); }
    OwnedReply(OwnedReply &&other) noexcept : m_reply(other.m_reply) { other.m_reply = nullptr; }
    OwnedReply &operator=(OwnedReply &&other) noexcept;
    OwnedReply(const OwnedReply &) = delete;
    OwnedReply &operator=(const OwnedReply &) = delete;

    DeviceReply *get() const { return m_reply; }
    DeviceReply *operator->() const { return m_reply; }
    DeviceReply &operator*() const { return *m_reply; }
    void reset();

private:
    QPointer<DeviceReply> m_reply;
};

#endif // DEVICEREPLY_H
