#include "link/answerwatch.h"

#include "link/linkstate.h"
#include "link/operation.h"
#include "link/linesettle.h"
#include "core/transferformat.h"
#include "ui/mainwindowui.h"

#include <QtCore/QDateTime>
#include <QtCore/QTimer>

namespace {

// What an operation cut short must not leave behind: the parts of the
// download or upload it held, the listing's length.
void forgetCutOperation()
{
    LinkState &link = linkState();
    link.rxBuffer = QByteArray();
    link.listLength = 0;
    link.transferSize = 0;
    link.uploadBuffer = QByteArray();
    link.uploadOffset = 0;
    link.uploadEndSent = false;
    link.currentOperation = Operation::Idle;
    emit link.notifier.exchangeEnded();
}

// The receiver carries a removal out before it answers: one that went
// unanswered may have happened all the same.
QString noAnswerText(const QString &operation)
{
    if (operation == Operation::Remove)
        return NoAnswerText + QStringLiteral("; the file may be removed: Connect to see");
    return NoAnswerText;
}

// A memory request changes nothing and starts no reply that must be let
// pass: while nothing else goes out, whatever comes next is its answer,
// given late by a receiver still starting up, and the reply handler takes
// it up (onBytesArrived).
void awaitLateMemoryAnswer()
{
    LinkState &link = linkState();
    link.memoryAnswerAwaited = true;
    link.currentOperation = Operation::Idle;
    emit link.notifier.exchangeEnded();
}

void onNoAnswer(MainWindowUi &ui, const ReplyTable &replyTable)
{
    LinkState &link = linkState();
    if (!link.portOpen || link.currentOperation.isEmpty())
        return;
    ui.statusbar->showMessage(noAnswerText(link.currentOperation), 0);
    if (link.currentOperation == Operation::Memory) {
        awaitLateMemoryAnswer();
        return;
    }
    const ReplyRemainder rest = cutRemainder(QDateTime::currentMSecsSinceEpoch());
    // A download's file is written only once complete, so nothing was. The
    // silence that ended the exchange counts toward the drain's quiet spell:
    // a line silent this long has mostly nothing left to drain.
    settleThenBind(ui, replyTable, Exchange::Idle, rest, forgetCutOperation, link.answerWatch->interval());
}

} // namespace

void armAnswerWatch(MainWindowUi &ui, const ReplyTable &replyTable)
{
    LinkState &link = linkState();
    delete link.answerWatch.data();
    // A child of the window: gone with it, and deleted by a disconnect.
    link.answerWatch = new QTimer(ui.centralwidget->window());
    link.answerWatch->setSingleShot(true);
    QObject::connect(link.answerWatch, &QTimer::timeout, link.answerWatch,
                     [&ui, replyTable] { onNoAnswer(ui, replyTable); });
    QObject::connect(&link.notifier, &LinkNotifier::frameSent, link.answerWatch, rewatchAnswer);
    QObject::connect(&link.notifier, &LinkNotifier::arrivalHandled, link.answerWatch, rewatchAnswer);
}

void rewatchAnswer()
{
    LinkState &link = linkState();
    if (!link.answerWatch)
        return;
    // While a settle reads the line (a reboot's boot text) its own bound holds.
    const bool settling = link.settler && link.settler->isSettling();
    if (!link.portOpen || link.currentOperation.isEmpty() || settling) {
        link.answerWatch->stop();
        return;
    }
    link.answerWatch->start(link.currentOperation == Operation::Erase ? link.formatLimitMs : link.answerLimitMs);
}

ReplyRemainder cutRemainder(qint64 nowMs)
{
    const LinkState &link = linkState();
    ReplyRemainder rest;
    rest.cutAtMs = nowMs;
    rest.exchange = Operation::exchangeOf(link.currentOperation);
    const qint64 held = link.rxBuffer.size();
    if (link.currentOperation == Operation::Download) {
        rest.name = link.downloadName;
        if (link.transferSize > 0)
            rest.bytesDue = qMax<qint64>(0, link.transferSize - held);
        else if (link.downloadListedSize >= 0)
            rest.bytesDue = qMax<qint64>(0, TransferFormat::DownloadHeaderSize + link.downloadListedSize - held);
    } else if (link.currentOperation == Operation::List && link.listLength > 0) {
        rest.bytesDue = qMax<qint64>(0, link.listLength - held);
    }
    return rest;
}
