// Byte helpers the engine's parts share: big-endian fields as the receiver
// writes and reads them, and bytes as a log line shows them.
#ifndef ENGINEBYTES_H
#define ENGINEBYTES_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace EngineBytes {

inline QByteArray be32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    bytes[0] = char(value >> 24);
    bytes[1] = char(value >> 16);
    bytes[2] = char(value >> 8);
    bytes[3] = char(value);
    return bytes;
}

inline quint32 readBe32(const QByteArray &bytes, int offset)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

inline QString printable(const QByteArray &bytes)
{
    QString text;
    for (char byte : bytes) {
        const auto code = uchar(byte);
        text += code >= 0x20 && code < 0x7F ? QString(QLatin1Char(byte))
                                            : QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace EngineBytes

#endif // ENGINEBYTES_H
