// Name rules and byte-level format of downloads and uploads. Qt Core only.
#ifndef TRANSFERFORMAT_H
#define TRANSFERFORMAT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace TransferFormat {

inline constexpr int DownloadHeaderSize = 4;
// A size with the top bit set is no size any receiver could send.
inline constexpr quint32 MaxDownloadBytes = 0x7FFFFFFF;
inline constexpr int MaxChunkBytes = 32;
inline constexpr int MaxUploadNameLength = 256;

// Percentage of a download received, truncated; never above 100.
int downloadPercent(qint64 received, qint64 size);
// Percentage of an upload sent, given the bytes not yet sent before the
// latest chunk; an empty file is all sent at once.
int uploadPercent(qint64 remainingBeforeChunk, qint64 size);

// The local name for a device file: a plain file name on every system.
// "/" and "\", the characters Windows refuses, and control characters become
// "-"; a name that would be empty, "." or ".." or a Windows device name is
// made safe the same way. A name longer than file systems take (255 bytes of
// UTF-8) is shortened before its type.
QString localFileName(const QString &deviceName);
inline constexpr int MaxLocalNameBytes = 255;

// The device name for a local file: its last path part, keeping only
// A-Z a-z 0-9 _ ' ( ) * + , - . and cut to 256 characters.
QString uploadName(const QString &localPath);

// The receiver wants a name before the first "." and a type after it.
bool uploadNameAcceptable(const QString &name);

QByteArray uploadStartPayload(const QByteArray &devicePath, quint32 fileSize);
QByteArray uploadChunkPayload(const QByteArray &chunk);

} // namespace TransferFormat

#endif // TRANSFERFORMAT_H
