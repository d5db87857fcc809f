// How the session reads each reply as it arrives: the core's step
// functions decide, the session hands on what they found and ends the
// exchange. Qt Core only.
#include "core/devicesession.h"

#include "core/commandformat.h"
#include "core/transferformat.h"

using CatalogueFormat::ListingStep;
using TransferFormat::DownloadStep;
using TransferFormat::UploadTurn;

std::optional<CatalogueFormat::MemoryFigures> DeviceSession::takeFittingMemoryReply(int *surplus)
{
    *surplus = qMax(0, int(m_received.size()) - CatalogueFormat::MemoryReplySize);
    const std::optional<CatalogueFormat::MemoryFigures> figures = CatalogueFormat::takeMemoryReply(m_received);
    if (!figures)
        return std::nullopt;
    const QString problem = CatalogueFormat::memoryReportProblem(*figures);
    if (problem.isEmpty())
        return figures;
    // Neither kept nor measured against: a later listing or download asks
    // again. Such figures are most often another reply's bytes.
    failOrAskAgain(tr("the receiver's memory report does not fit: %1").arg(problem));
    return std::nullopt;
}

void DeviceSession::handleArrival()
{
    DeviceReply *reply = m_current.reply;
    int surplus = 0;
    if (m_askingCapacityFirst) {
        const std::optional<CatalogueFormat::MemoryFigures> figures = takeFittingMemoryReply(&surplus);
        if (!figures)
            return;
        if (m_cleanLineCheck && surplus > 0) {
            onLineNotClean();
            return;
        }
        m_memory = figures;
        m_askingCapacityFirst = false;
        m_received.clear();
        m_lineExchange = m_current.kind;
        sendRequestNeedingCapacity();
        return;
    }

    switch (m_current.kind) {
    case Exchange::Memory: {
        const std::optional<CatalogueFormat::MemoryFigures> figures = takeFittingMemoryReply(&surplus);
        if (!figures)
            return;
        m_memory = figures;
        if (reply)
            reply->m_memory = *figures;
        finishWhenLineClean(surplus);
        return;
    }
    case Exchange::Listing:
        handleListingArrival();
        return;
    case Exchange::Download:
        handleDownloadArrival();
        return;
    case Exchange::Upload:
        handleUploadAnswer();
        return;
    case Exchange::Remove:
    case Exchange::Format:
    case Exchange::Execute:
        handleCommandAnswer();
        return;
    case Exchange::Idle:
    case Exchange::Opening:
    case Exchange::Reboot:
        return;
    }
}

void DeviceSession::handleListingArrival()
{
    DeviceReply *reply = m_current.reply;
    ListingStep step = CatalogueFormat::readListingReply(m_received, m_listLength, m_memory->totalBytes);
    switch (step.status) {
    case ListingStep::Status::Waiting:
        if (reply && m_listLength > 0)
            reply->setProgress(m_received.size(), m_listLength);
        return;
    case ListingStep::Status::Complete:
        if (reply)
            reply->m_entries = std::move(step.entries);
        finishWhenLineClean(step.surplus);
        return;
    case ListingStep::Status::Malformed:
        failOrAskAgain(tr("the file list does not fit the file system's size"));
        return;
    }
}

void DeviceSession::handleDownloadArrival()
{
    DeviceReply *reply = m_current.reply;
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
        finishWhenLineClean(step.surplus);
        return;
    case DownloadStep::Status::Refused:
        finishCurrent(DeviceReply::RefusedError, tr("the receiver cannot open the file"));
        return;
    case DownloadStep::Status::BadSize:
        failOrAskAgain(tr("the receiver announced a size larger than its flash"));
        return;
    }
}

// The one-byte answers of remove, format and execute.
void DeviceSession::handleCommandAnswer()
{
    switch (m_current.kind) {
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
    default:
        break;
    }
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
}

void DeviceSession::handleUploadAnswer()
{
    DeviceReply *reply = m_current.reply;
    const qint64 size = m_current.content.size();
    switch (TransferFormat::takeUploadTurn(m_received, m_uploadEndSent)) {
    case UploadTurn::SendNext:
        // Everything sent so far has been taken.
        if (reply)
            reply->setProgress(m_uploadOffset, size);
        m_uploadEndSent = m_uploadOffset >= size;
        send(TransferFormat::nextUploadFrame(m_current.content, m_uploadOffset));
        return;
    case UploadTurn::ReadyAfterEnd:
        // Sending the end frame again would draw a second answer that the
        // next request would read as its own; the end frame's answer, or
        // the silence that fails the exchange, is still to come.
        return;
    case UploadTurn::Stored:
        if (reply)
            reply->setProgress(size, size);
        finishCurrent();
        return;
    case UploadTurn::EndedEarly:
        finishCurrent(DeviceReply::BadReplyError, tr("the receiver ended the upload before the last byte"));
        return;
    case UploadTurn::Stopped:
        if (m_uploadOffset == 0 && !m_uploadEndSent)
            finishCurrent(DeviceReply::RefusedError, tr("the receiver refused the file: no room, or a name it does not take"));
        else
            finishCurrent(DeviceReply::RefusedError, tr("the receiver stopped the upload"));
        return;
    case UploadTurn::Waiting:
        return; // dropped: the answer is still awaited
    }
}
