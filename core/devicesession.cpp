#include "core/devicesession.h"

#include "core/commandformat.h"
#include "core/receiverline.h"
#include "core/wireformat.h"
#include "core/transferformat.h"

#include <QtCore/QDateTime>
#include <QtCore/QIODevice>
#include <QtSerialPort/QSerialPort>

#include <utility>

DeviceSession::DeviceSession(QIODevice *line, QObject *parent)
    : QObject(parent), m_line(line), m_settler(line)
{
    m_silenceTimer.setSingleShot(true);
    m_quietTimer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and a boot that pauses just
    // under the quiet spell would then be cut off.
    m_quietTimer.setTimerType(Qt::PreciseTimer);
    m_cleanTimer.setSingleShot(true);
    m_cleanTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_cleanTimer, &QTimer::timeout, this, [this] { finishCurrent(); });
    connect(&m_silenceTimer, &QTimer::timeout, this, &DeviceSession::onSilence);
    connect(&m_quietTimer, &QTimer::timeout, this, &DeviceSession::onQuietSpell);
    connect(&m_settler, &LineSettler::settled, this, &DeviceSession::onSettled);
    if (!line)
        return;
    connect(line, &QIODevice::readyRead, this, &DeviceSession::onReadyRead);
    // Replies finish from the event loop, never inside the port's own
    // notification: a finished() handler may well close the port.
    const auto lost = [this](const QString &reason) {
        QMetaObject::invokeMethod(this, [this, reason] { onLineLost(reason); }, Qt::QueuedConnection);
    };
    connect(line, &QIODevice::aboutToClose, this, [lost] { lost(tr("the port was closed")); });
    connect(line, &QIODevice::readChannelFinished, this, [lost] { lost(tr("the line was hung up")); });
    if (auto *port = qobject_cast<QSerialPort *>(line)) {
        connect(port, &QSerialPort::errorOccurred, this, [port, lost](QSerialPort::SerialPortError error) {
            if (ReceiverLine::meansLineLost(error))
                lost(tr("the port failed or the receiver was unplugged (%1)").arg(port->errorString()));
        });
    }
}

DeviceSession::~DeviceSession() = default;

DeviceReply *DeviceSession::settle(const std::optional<ReplyRemainder> &remainder)
{
    if (remainder)
        m_remainder = remainder;
    return enqueue(Exchange::Opening);
}

DeviceReply *DeviceSession::requestMemoryReport()
{
    return enqueue(Exchange::Memory);
}

DeviceReply *DeviceSession::requestListing()
{
    return enqueue(Exchange::Listing);
}

DeviceReply *DeviceSession::download(const QByteArray &name, qint64 listedSize)
{
    return enqueue(Exchange::Download, name, QByteArray(), false, listedSize);
}

DeviceReply *DeviceSession::downloadStreamed(const QByteArray &name, qint64 listedSize)
{
    return enqueue(Exchange::Download, name, QByteArray(), true, listedSize);
}

DeviceReply *DeviceSession::upload(const QByteArray &name, const QByteArray &content)
{
    return enqueue(Exchange::Upload, name, content);
}

DeviceReply *DeviceSession::remove(const QByteArray &name)
{
    return enqueue(Exchange::Remove, name);
}

DeviceReply *DeviceSession::format()
{
    return enqueue(Exchange::Format);
}

DeviceReply *DeviceSession::execute(const QByteArray &name)
{
    return enqueue(Exchange::Execute, name);
}

DeviceReply *DeviceSession::reboot()
{
    return enqueue(Exchange::Reboot);
}

void DeviceSession::abort()
{
    failAll(DeviceReply::AbortedError, tr("aborted"));
}

DeviceReply *DeviceSession::enqueue(Exchange kind, const QByteArray &name, const QByteArray &content, bool streamed,
                                    qint64 listedSize)
{
    auto *reply = new DeviceReply(kind, name, this);
    if (m_lineLost || !m_line || !m_line->isOpen()) {
        // Finished before the caller could connect: isFinished() says so.
        reply->finish(DeviceReply::LineLostError,
                      m_lineLostReason.isEmpty() ? tr("the port is not open") : m_lineLostReason);
        return reply;
    }
    m_waiting.enqueue(Request{kind, reply, name, content, streamed, listedSize, false});
    startNext();
    return reply;
}

void DeviceSession::startNext()
{
    while (!isBusy() && !m_waiting.isEmpty()) {
        // The rest of a cut reply would be read as this request's answer:
        // it is drained first, as a settle of the session's own.
        if (m_remainder && m_waiting.head().kind != Exchange::Opening)
            m_current = Request{Exchange::Opening, nullptr, QByteArray(), QByteArray(), false, -1, false};
        else
            m_current = m_waiting.dequeue();
        startCurrent();
    }
}

void DeviceSession::startCurrent()
{
    m_received.clear();
    m_listLength = 0;
    m_transferSize = 0;
    m_delivered = 0;
    m_uploadOffset = 0;
    m_uploadEndSent = false;
    m_rebootText.reset();
    m_askingCapacityFirst = false;

    if (m_current.kind == Exchange::Opening) {
        // Its bytes belong to whatever came before: Opening or Idle.
        m_settler.start(m_lineExchange, m_remainder);
        return;
    }
    m_lineExchange = m_current.kind;

    switch (m_current.kind) {
    case Exchange::Memory:
        send(CatalogueFormat::memoryRequest());
        break;
    case Exchange::Listing:
    case Exchange::Download:
        if (!m_memory) {
            m_askingCapacityFirst = true;
            m_lineExchange = Exchange::Memory;
            send(CatalogueFormat::memoryRequest());
        } else {
            sendRequestNeedingCapacity();
        }
        break;
    case Exchange::Upload: {
        const qint64 size = m_current.content.size();
        if (m_current.reply)
            m_current.reply->setProgress(0, size);
        send(TransferFormat::uploadStartRequest(WireFormat::devicePath(m_current.name), quint32(size)));
        break;
    }
    case Exchange::Remove:
        send(CommandFormat::removeRequest(m_current.name));
        break;
    case Exchange::Format:
        send(CommandFormat::formatRequest());
        break;
    case Exchange::Execute:
        send(CommandFormat::executeRequest(m_current.name));
        break;
    case Exchange::Reboot:
        send(CommandFormat::rebootRequest());
        break;
    case Exchange::Idle:
    case Exchange::Opening:
        break;
    }
}

void DeviceSession::sendRequestNeedingCapacity()
{
    if (m_current.kind == Exchange::Listing)
        send(CatalogueFormat::listingRequest());
    else
        send(TransferFormat::downloadRequest(m_current.name));
}

void DeviceSession::send(const QByteArray &frame)
{
    if (ReceiverLine::write(*m_line, frame, m_lineExchange) != frame.size()) {
        const QString reason = m_line->errorString();
        QMetaObject::invokeMethod(this, [this, reason] { onLineLost(reason); }, Qt::QueuedConnection);
        return;
    }
    // Out now, not on the next pass of the event loop.
    if (auto *port = qobject_cast<QSerialPort *>(m_line.data()))
        port->flush();
    armSilenceTimer();
}

void DeviceSession::armSilenceTimer()
{
    if (m_timeoutMs > 0)
        m_silenceTimer.start(m_timeoutMs);
}

void DeviceSession::onReadyRead()
{
    // While settling, the settler reads.
    if (!m_line || m_current.kind == Exchange::Opening)
        return;
    const QByteArray bytes = ReceiverLine::readAll(*m_line, m_lineExchange);
    if (bytes.isEmpty())
        return;
    // A reply whose end has come, and now bytes after it.
    if (m_cleanTimer.isActive()) {
        onLineNotClean();
        return;
    }

    switch (m_current.kind) {
    case Exchange::Idle:
        return; // between exchanges: line noise
    case Exchange::Reboot:
        // Until the boot text shows, the receiver may still be silent, and
        // the time-out applies; after, only the quiet spell counts.
        if (m_rebootText.feed(bytes)) {
            if (m_current.reply)
                m_current.reply->m_bootSeen = true;
            m_silenceTimer.stop();
            m_quietTimer.start(BootQuietMs);
        } else {
            armSilenceTimer();
        }
        return;
    default:
        break;
    }
    m_received += bytes;
    armSilenceTimer();
    handleArrival();
}

void DeviceSession::onSilence()
{
    if (!isBusy())
        return;
    auto *port = qobject_cast<QSerialPort *>(m_line.data());
    if (port && ReceiverLine::deviceGone(*port)) {
        onLineLost(tr("the receiver was unplugged: %1 is gone").arg(port->portName()));
        return;
    }
    finishCurrent(DeviceReply::TimeoutError,
                  tr("no answer from the receiver in %1 s").arg(double(m_timeoutMs) / 1000.0));
}

void DeviceSession::onSettled()
{
    if (m_current.kind != Exchange::Opening)
        return;
    if (m_current.reply)
        m_current.reply->m_bootSeen = m_settler.bootSeen();
    m_remainder.reset();
    finishCurrent();
}

void DeviceSession::onQuietSpell()
{
    if (m_current.kind == Exchange::Reboot)
        finishCurrent();
}

void DeviceSession::onLineLost(const QString &reason)
{
    if (m_lineLost)
        return;
    m_lineLost = true;
    m_lineLostReason = reason;
    failAll(DeviceReply::LineLostError, reason);
}

void DeviceSession::failAll(DeviceReply::Error error, const QString &reason)
{
    QQueue<Request> waiting;
    waiting.swap(m_waiting);
    QPointer<DeviceSession> self(this);
    if (isBusy())
        finishCurrent(error, reason);
    for (const Request &exchange : std::as_const(waiting)) {
        if (!self)
            return;
        if (exchange.reply) {
            exchange.reply->finish(error, reason);
            emit exchangeEnded(exchange.reply);
        }
    }
}

std::optional<ReplyRemainder> DeviceSession::cutShortRemainder(const Request &done, DeviceReply::Error error) const
{
    if (error != DeviceReply::TimeoutError && error != DeviceReply::AbortedError && error != DeviceReply::BadReplyError)
        return std::nullopt;
    if (done.kind == Exchange::Idle || done.kind == Exchange::Opening)
        return std::nullopt;
    ReplyRemainder remainder;
    remainder.name = done.name;
    remainder.exchange = done.kind;
    remainder.cutAtMs = QDateTime::currentMSecsSinceEpoch();
    // An answer that does not fit says nothing trustworthy of its length.
    if (m_askingCapacityFirst)
        remainder.exchange = Exchange::Memory;
    if (error == DeviceReply::BadReplyError)
        return remainder;
    if (m_askingCapacityFirst || done.kind == Exchange::Memory) {
        remainder.exchange = Exchange::Memory;
        remainder.bytesDue = qMax(0, CatalogueFormat::MemoryReplySize - int(m_received.size()));
    } else if (done.kind == Exchange::Download && m_transferSize > 0) {
        remainder.bytesDue = m_transferSize - m_delivered - m_received.size();
    } else if (done.kind == Exchange::Download && done.listedSize >= 0) {
        // Cut before its size came: the listing said how much follows it.
        remainder.bytesDue = qMax<qint64>(0, TransferFormat::DownloadHeaderSize + done.listedSize - m_received.size());
    } else if (done.kind == Exchange::Listing && m_listLength > 0) {
        remainder.bytesDue = m_listLength - m_received.size();
    }
    return remainder;
}

void DeviceSession::finishWhenLineClean(int surplus)
{
    if (!m_cleanLineCheck) {
        finishCurrent();
        return;
    }
    if (surplus > 0) {
        onLineNotClean();
        return;
    }
    m_silenceTimer.stop();
    m_cleanTimer.start(CleanLineMs);
}

void DeviceSession::failOrAskAgain(const QString &reason)
{
    if (m_cleanLineCheck && !m_current.askedAgain && !m_current.streamed)
        onLineNotClean();
    else
        finishCurrent(DeviceReply::BadReplyError, reason);
}

void DeviceSession::onLineNotClean()
{
    // What came may be anything's: figures from it are not kept.
    m_memory.reset();
    if (m_current.askedAgain || m_current.streamed) {
        finishCurrent(DeviceReply::BadReplyError,
                      m_current.streamed ? tr("bytes nobody asked for came right behind the file: the receiver may still "
                                              "have been sending an earlier reply, and what was handed on may not be this file")
                                         : tr("bytes nobody asked for came with the answer, twice: the receiver is still "
                                              "sending something (an earlier reply cut short?); try again in a while"));
        return;
    }
    // Drained by the settle's rules before the request goes out once more.
    Request again = std::move(m_current);
    again.askedAgain = true;
    ReplyRemainder rest;
    rest.name = again.name;
    rest.exchange = again.kind;
    rest.cutAtMs = QDateTime::currentMSecsSinceEpoch();
    m_remainder = rest;
    m_current = Request();
    m_silenceTimer.stop();
    m_cleanTimer.stop();
    m_askingCapacityFirst = false;
    m_received = QByteArray();
    m_lineExchange = Exchange::Idle;
    m_waiting.prepend(again);
    startNext();
}

void DeviceSession::finishCurrent(DeviceReply::Error error, const QString &errorString)
{
    if (std::optional<ReplyRemainder> cut = cutShortRemainder(m_current, error))
        m_remainder = cut;
    const Request done = std::move(m_current);
    m_current = Request();
    m_silenceTimer.stop();
    m_quietTimer.stop();
    m_cleanTimer.stop();
    m_settler.cancel();
    m_askingCapacityFirst = false;
    m_received = QByteArray(); // a large download's buffer is given back
    if (done.kind != Exchange::Opening)
        m_lineExchange = Exchange::Idle;

    QPointer<DeviceSession> self(this);
    if (done.reply) {
        done.reply->finish(error, errorString);
        if (!self)
            return;
        if (done.reply)
            emit exchangeEnded(done.reply);
        if (!self)
            return;
    }
    startNext();
}
