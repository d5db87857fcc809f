#include "core/wireformat.h"

namespace WireFormat {

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    bytes[0] = char((value >> 24) & 0xFF);
    bytes[1] = char((value >> 16) & 0xFF);
    bytes[2] = char((value >> 8) & 0xFF);
    bytes[3] = char(value & 0xFF);
    return bytes;
}

quint32 readBigEndian32(const QByteArray &bytes, int offset)
{
    Q_ASSERT(offset >= 0 && offset + 4 <= bytes.size());
    const auto byteAt = [&](int i) { return quint32(quint8(bytes.at(offset + i))); };
    return (byteAt(0) << 24) | (byteAt(1) << 16) | (byteAt(2) << 8) | byteAt(3);
}

QByteArray commandFrame(char letter, const QByteArray &payload)
{
    QByteArray frame;
    frame.reserve(PreambleSize + 1 + payload.size());
    frame.append(Preamble, PreambleSize);
    frame.append(letter);
    frame.append(payload);
    return frame;
}

QByteArray devicePath(const QByteArray &name)
{
    return QByteArray(1, '/') + name;
}

QByteArray devicePathField(const QByteArray &path)
{
    return bigEndian32(quint32(path.size())) + path;
}

QByteArray fileRequest(char letter, const QByteArray &name)
{
    return commandFrame(letter, devicePathField(devicePath(name)));
}

std::optional<char> takeAnswerByte(QByteArray &received)
{
    if (received.isEmpty())
        return std::nullopt;
    const char answer = received.at(0);
    received.clear();
    return answer;
}

} // namespace WireFormat
