// Requests and answers of the one-byte commands: remove, format, execute and
// reboot. Qt Core only.
#ifndef COMMANDFORMAT_H
#define COMMANDFORMAT_H

#include <QtCore/QByteArray>

namespace CommandFormat {

QByteArray removeRequest(const QByteArray &name);
QByteArray formatRequest();
QByteArray executeRequest(const QByteArray &name);
QByteArray rebootRequest();

enum class RemoveAnswer {
    Waiting, // nothing has arrived
    Removed, // "R"
    Refused, // "r": no such file, or the device could not remove it
    Ignored, // any other byte: dropped, the answer is still awaited
};
RemoveAnswer takeRemoveAnswer(QByteArray &received);

enum class FormatAnswer {
    Waiting,
    Formatted, // "E"
    Ignored,   // any other byte: dropped, the answer is still awaited
};
FormatAnswer takeFormatAnswer(QByteArray &received);

enum class ExecuteAnswer {
    Waiting,
    Opened,      // "X"
    Unsupported, // "x"
    Unclear,     // anything else; the request is over all the same
};
// The first arrival ends the request, whatever it holds.
ExecuteAnswer takeExecuteAnswer(QByteArray &received);

// The receiver opens a file by its type, so a name without one (see
// fileExtension) is not worth asking about.
bool executable(const QByteArray &name);

} // namespace CommandFormat

#endif // COMMANDFORMAT_H
