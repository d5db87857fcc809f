#include "core/devicesession.h"

#include "core/commandformat.h"
#include "core/receiverline.h"
#include "core/wireformat.h"
#include "core/transferformat.h"

#include <QtCore/QIODevice>
#include <QtSerialPort/QSerialPort>

#include <utility>

using CatalogueFormat::ListingStep;
using TransferFormat::DownloadStep;
using TransferFormat::UploadAnswer;

DeviceSession::DeviceSession(QIODevice *line, QObject *parent)
    : QObject(parent), m_line(line), m_settler(line)
{
    m_silenceTimer.setSingleShot(true);
    m_quietTimer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and a boot that pauses just
    // under the quiet spell would then be cut off.
    m_quietTimer.setTimerType(Qt::PreciseTimer);
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

DeviceReply *DeviceSession::settle()
{
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

DeviceReply *DeviceSession::download(const QByteArray &name)
{
    return enqueue(Exchange::Download, name);
}

DeviceReply *DeviceSession::downloadStreamed(const QByteArray &name)
{
    return enqueue(Exchange::Download, name, QByteArray(), true);
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

DeviceReply *DeviceSession::enqueue(Exchange kind, const QByteArray &name, const QByteArray &content, bool streamed)
{
    auto *reply = new DeviceReply(kind, name, this);
    if (m_lineLost || !m_line || !m_line->isOpen()) {
        // Finished before the caller could connect: isFinished() says so.
        reply->finish(DeviceReply::LineLostError,
                      m_lineLostReason.isEmpty() ? tr("the port is not open") : m_lineLostReason);
        return reply;
    }
    m_waiting.enqueue(Request{kind, reply, name, content, streamed});
    startNext();
    return reply;
}

void DeviceSession::startNext()
{
    while (!isBusy() && !m_waiting.isEmpty()) {
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
        m_settler.start(m_lineExchange);
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

void DeviceSession::handleArrival()
{
    DeviceReply *reply = m_current.reply;
    if (m_askingCapacityFirst) {
        const std::optional<CatalogueFormat::MemoryFigures> figures = CatalogueFormat::takeMemoryReply(m_received);
        if (!figures)
            return;
        m_memory = figures;
        m_askingCapacityFirst = false;
        m_received.clear();
        m_lineExchange = m_current.kind;
        sendRequestNeedingCapacity();
        return;
    }

    switch (m_current.kind) {
    case Exchange::Memory: {
        const std::optional<CatalogueFormat::MemoryFigures> figures = CatalogueFormat::takeMemoryReply(m_received);
        if (!figures)
            return;
        m_memory = figures;
        if (reply)
            reply->m_memory = *figures;
        finishCurrent();
        return;
    }
    case Exchange::Listing: {
        ListingStep step = CatalogueFormat::readListingReply(m_received, m_listLength, m_memory->totalBytes);
        switch (step.status) {
        case ListingStep::Status::Waiting:
            if (reply && m_listLength > 0)
                reply->setProgress(m_received.size(), m_listLength);
            return;
        case ListingStep::Status::Complete:
            if (reply)
                reply->m_entries = std::move(step.entries);
            finishCurrent();
            return;
        case ListingStep::Status::Malformed:
            finishCurrent(DeviceReply::BadReplyError, tr("the file list does not fit the file system's size"));
            return;
        }
        return;
    }
    case Exchange::Download: {
        DownloadStep step = m_current.streamed
                                    ? TransferFormat::readDownloadStream(m_received, m_transferSize, m_delivered,
                                                                         m_memory->totalBytes)
                                    : TransferFormat::readDownloadReply(m_received, m_transferSize, m_memory->totalBytes);
        QPointer<DeviceSession> self(this);
        if (m_current.streamed && reply && !step.content.isEmpty()) {
            const qint64 total = step.status == DownloadStep::Status::Complete ? m_delivered : m_transferSize;
            reply->setProgress(m_delivered, total);
            emit reply->contentArrived(step.content);
            // The receiver of the content may have given up on the reply.
            if (!self || m_current.reply != reply)
                return;
        }
        switch (step.status) {
        case DownloadStep::Status::Waiting:
        case DownloadStep::Status::FirstByte:
            return;
        case DownloadStep::Status::Receiving:
            if (reply && !m_current.streamed)
                reply->setProgress(m_received.size(), m_transferSize);
            return;
        case DownloadStep::Status::Complete:
            if (reply && !m_current.streamed) {
                reply->setProgress(step.content.size(), step.content.size());
                reply->m_content = std::move(step.content);
            }
            finishCurrent();
            return;
        case DownloadStep::Status::Refused:
            finishCurrent(DeviceReply::RefusedError, tr("the receiver cannot open the file"));
            return;
        case DownloadStep::Status::BadSize:
            finishCurrent(DeviceReply::BadReplyError, tr("the receiver announced a size larger than its flash"));
            return;
        }
        return;
    }
    case Exchange::Upload:
        handleUploadAnswer();
        return;
    case Exchange::Remove:
        switch (CommandFormat::takeRemoveAnswer(m_received)) {
        case CommandFormat::RemoveAnswer::Removed:
            finishCurrent();
            return;
        case CommandFormat::RemoveAnswer::Refused:
            finishCurrent(DeviceReply::RefusedError, tr("the receiver has no such file or cannot remove it"));
            return;
        case CommandFormat::RemoveAnswer::Waiting:
        case CommandFormat::RemoveAnswer::Ignored:
            return;
        }
        return;
    case Exchange::Format:
        if (CommandFormat::takeFormatAnswer(m_received) == CommandFormat::FormatAnswer::Formatted)
            finishCurrent();
        return;
    case Exchange::Execute:
        switch (CommandFormat::takeExecuteAnswer(m_received)) {
        case CommandFormat::ExecuteAnswer::Opened:
            finishCurrent();
            return;
        case CommandFormat::ExecuteAnswer::Unsupported:
            finishCurrent(DeviceReply::RefusedError, tr("the receiver does not open this file"));
            return;
        case CommandFormat::ExecuteAnswer::Unclear:
            finishCurrent(DeviceReply::BadReplyError, tr("the receiver's answer is neither yes nor no"));
            return;
        case CommandFormat::ExecuteAnswer::Waiting:
            return;
        }
        return;
    case Exchange::Idle:
    case Exchange::Opening:
    case Exchange::Reboot:
        return;
    }
}

void DeviceSession::handleUploadAnswer()
{
    DeviceReply *reply = m_current.reply;
    const qint64 size = m_current.content.size();
    switch (TransferFormat::takeUploadAnswer(m_received)) {
    case UploadAnswer::Ready: {
        if (m_uploadEndSent) {
            finishCurrent(DeviceReply::BadReplyError, tr("the receiver asked for more after the last byte"));
            return;
        }
        // Everything sent so far has been taken.
        if (reply)
            reply->setProgress(m_uploadOffset, size);
        m_uploadEndSent = m_uploadOffset >= size;
        send(TransferFormat::nextUploadFrame(m_current.content, m_uploadOffset));
        return;
    }
    case UploadAnswer::Finished:
        if (!m_uploadEndSent) {
            finishCurrent(DeviceReply::BadReplyError, tr("the receiver ended the upload before the last byte"));
            return;
        }
        if (reply)
            reply->setProgress(size, size);
        finishCurrent();
        return;
    case UploadAnswer::Stopped:
        if (m_uploadOffset == 0 && !m_uploadEndSent)
            finishCurrent(DeviceReply::RefusedError, tr("the receiver refused the file: no room, or a name it does not take"));
        else
            finishCurrent(DeviceReply::RefusedError, tr("the receiver stopped the upload"));
        return;
    case UploadAnswer::None:
    case UploadAnswer::Unknown:
        return; // dropped, as the window drops it; the answer is still awaited
    }
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

void DeviceSession::finishCurrent(DeviceReply::Error error, const QString &errorString)
{
    const Request done = std::move(m_current);
    m_current = Request();
    m_silenceTimer.stop();
    m_quietTimer.stop();
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
