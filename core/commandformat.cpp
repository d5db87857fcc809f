#include "core/commandformat.h"

#include "core/catalogueformat.h"
#include "core/wireformat.h"

namespace CommandFormat {

QByteArray removeRequest(const QByteArray &name)
{
    return WireFormat::fileRequest(WireFormat::Letter::Remove, name);
}

QByteArray formatRequest()
{
    return WireFormat::commandFrame(WireFormat::Letter::Erase);
}

QByteArray executeRequest(const QByteArray &name)
{
    return WireFormat::fileRequest(WireFormat::Letter::Execute, name);
}

QByteArray rebootRequest()
{
    return WireFormat::commandFrame(WireFormat::Letter::Reboot);
}

RemoveAnswer takeRemoveAnswer(QByteArray &received)
{
    const std::optional<char> answer = WireFormat::takeAnswerByte(received);
    if (!answer)
        return RemoveAnswer::Waiting;
    if (*answer == 'R')
        return RemoveAnswer::Removed;
    return *answer == 'r' ? RemoveAnswer::Refused : RemoveAnswer::Ignored;
}

FormatAnswer takeFormatAnswer(QByteArray &received)
{
    const std::optional<char> answer = WireFormat::takeAnswerByte(received);
    if (!answer)
        return FormatAnswer::Waiting;
    return *answer == 'E' ? FormatAnswer::Formatted : FormatAnswer::Ignored;
}

ExecuteAnswer takeExecuteAnswer(QByteArray &received)
{
    if (received.isEmpty())
        return ExecuteAnswer::Waiting;
    ExecuteAnswer answer = ExecuteAnswer::Unclear;
    if (received == "X")
        answer = ExecuteAnswer::Opened;
    else if (received == "x")
        answer = ExecuteAnswer::Unsupported;
    received.clear();
    return answer;
}

bool executable(const QByteArray &name)
{
    // The type is read from the path, so a name that starts with "." has one.
    const QByteArray path = WireFormat::devicePath(name);
    return !CatalogueFormat::fileExtension(CatalogueFormat::deviceNameText(path)).isEmpty();
}

} // namespace CommandFormat
