#include "link/replydispatch.h"

#include "link/linkstate.h"
#include "link/operation.h"

#include "core/exchange.h"
#include "core/receiverline.h"

namespace {

// What a trace names the bytes on the line after: the register's exchange,
// or the memory report still awaited after silence.
Exchange registerExchange()
{
    const LinkState &link = linkState();
    const QString &operation = link.currentOperation;
    if (operation.isEmpty())
        return link.memoryAnswerAwaited ? Exchange::Memory : Exchange::Idle;
    return Operation::exchangeOf(operation);
}

} // namespace

void startOperation(const QString &operation, const QByteArray &frame)
{
    LinkState &link = linkState();
    if (link.memoryAnswerAwaited) {
        // From now on a late memory answer would pass for this request's.
        link.memoryAnswerAwaited = false;
        link.rxBuffer.clear();
    }
    link.currentOperation = operation;
    sendFrame(frame);
}

void sendFrame(const QByteArray &frame)
{
    QSerialPort &port = linkState().serialPort;
    if (!port.isOpen())
        return;
    ReceiverLine::write(port, frame, registerExchange());
    // Hands the frame to the line now rather than on the next pass of the
    // event loop; flush() does not wait for the line to take it.
    port.flush();
    emit linkState().notifier.frameSent();
}

void onReadyRead(const ReplyTable &table)
{
    onBytesArrived(ReceiverLine::readAll(linkState().serialPort, registerExchange()), table);
}

void onBytesArrived(const QByteArray &incoming, const ReplyTable &table)
{
    LinkState &link = linkState();
    if (link.currentOperation.isEmpty()) {
        if (!link.memoryAnswerAwaited)
            return;
        // The memory request that met silence is still the last one sent.
        link.memoryAnswerAwaited = false;
        link.currentOperation = Operation::Memory;
    }
    link.rxBuffer += incoming;
    for (const ReplyBranch &branch : table) {
        if (link.currentOperation == branch.operation) {
            branch.handle();
            // Whatever came counts as the receiver answering (AnswerWatch).
            emit link.notifier.arrivalHandled();
            if (link.currentOperation.isEmpty())
                emit link.notifier.exchangeEnded();
            return;
        }
    }
    link.rxBuffer.clear();
}
