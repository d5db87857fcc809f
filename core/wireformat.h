// Byte-level format of the serial link: command frames and big-endian fields.
// Qt Core only, so tests and fuzzers can call it without a window.
#ifndef WIREFORMAT_H
#define WIREFORMAT_H

#include <QtCore/QByteArray>

#include <optional>

namespace WireFormat {

// Every command starts with these 16 bytes; the firmware syncs on them.
inline constexpr char Preamble[] = "K-Wanderer______";
inline constexpr int PreambleSize = 16;

namespace Letter {
inline constexpr char Memory = 'M';
inline constexpr char List = 'L';
inline constexpr char Download = 'D';
inline constexpr char Upload = 'U';
inline constexpr char UploadEnd = 'u';
inline constexpr char Remove = 'R';
inline constexpr char Erase = 'E';
inline constexpr char Execute = 'X';
inline constexpr char Reboot = 'Q';
}

QByteArray bigEndian32(quint32 value);

// Reads four bytes at offset, most significant first. The caller makes sure
// offset + 4 <= bytes.size().
quint32 readBigEndian32(const QByteArray &bytes, int offset = 0);

// Preamble, letter, payload: nothing else travels around a command.
QByteArray commandFrame(char letter, const QByteArray &payload = QByteArray());

// "/" followed by the device's own name bytes.
QByteArray devicePath(const QByteArray &name);

// The path field of "D", "R" and "X": its byte count, then its bytes.
QByteArray devicePathField(const QByteArray &path);

// A request that names a device file: the letter, then the path field of
// "/" and the name.
QByteArray fileRequest(char letter, const QByteArray &name);

// The device's one-byte answer: the first byte received. Whatever came with
// it is line noise and is dropped with it. Empty while nothing has arrived.
std::optional<char> takeAnswerByte(QByteArray &received);

} // namespace WireFormat

#endif // WIREFORMAT_H
