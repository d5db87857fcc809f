#include "link/replydispatch.h"

#include "link/linkstate.h"

void startOperation(const QString &operation, const QByteArray &frame)
{
    linkState().currentOperation = operation;
    sendFrame(frame);
}

void sendFrame(const QByteArray &frame)
{
    linkState().serialPort.write(frame);
}

void onReadyRead(const ReplyTable &table)
{
    LinkState &link = linkState();
    const QByteArray incoming = link.serialPort.readAll();
    if (link.currentOperation.isEmpty())
        return;
    link.rxBuffer += incoming;
    for (const ReplyBranch &branch : table) {
        if (link.currentOperation == branch.operation) {
            branch.handle();
            return;
        }
    }
    link.rxBuffer.clear();
}
