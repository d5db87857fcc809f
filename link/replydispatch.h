// Sending requests and routing the device's replies to the operation that
// awaits them.
#ifndef REPLYDISPATCH_H
#define REPLYDISPATCH_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <functional>
#include <vector>

// One row of the reply table: while the register holds `operation`, every
// arrival of bytes runs `handle`.
struct ReplyBranch
{
    QString operation;
    std::function<void()> handle;
};
using ReplyTable = std::vector<ReplyBranch>;

// Sets the register, then writes the frame: the register is always set before
// the first byte of a request leaves.
void startOperation(const QString &operation, const QByteArray &frame);

// Writes a frame that belongs to the operation already in the register, and
// says so (LinkNotifier::frameSent()): the answer watch starts again.
void sendFrame(const QByteArray &frame);

// Bound to the port's readyRead while the link is open: hands everything the
// port has to onBytesArrived.
void onReadyRead(const ReplyTable &table);

// Appends one arrival of bytes to the receive buffer and runs the branch of
// the operation in progress. Bytes that arrive while idle are dropped:
// nothing would read them; but after a memory request that met silence,
// with nothing sent since, they are its answer and the report goes on.
void onBytesArrived(const QByteArray &incoming, const ReplyTable &table);

#endif // REPLYDISPATCH_H
