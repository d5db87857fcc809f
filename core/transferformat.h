// Name rules and byte-level format of downloads and uploads. Qt Core only.
#ifndef TRANSFERFORMAT_H
#define TRANSFERFORMAT_H

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace TransferFormat {

inline constexpr int DownloadHeaderSize = 4;
// A size with the top bit set is no size any receiver could send.
inline constexpr quint32 MaxDownloadBytes = 0x7FFFFFFF;
inline constexpr int MaxChunkBytes = 32;
inline constexpr int MaxUploadNameLength = 256;
// SPIFFS keeps 32 bytes for a path, its terminating zero included.
inline constexpr int MaxDevicePathBytes = 31;

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

// The characters a device name given in full may hold: those uploadName()
// keeps, and "/".
bool nameCharactersAccepted(const QString &name);

// "/" and the name fit in the receiver's path field.
bool devicePathFits(const QByteArray &name);

// Whether the receiver can store a file under name, as a name given in full
// (not cleaned by uploadName()). The first problem found, in this order.
enum class NameProblem {
    None,
    Characters, // a character other than those nameCharactersAccepted() takes
    Shape,      // empty, or nothing before the first "." or after it
    Length,     // longer than devicePathFits() allows
};
NameProblem storableNameProblem(const QString &name);

// The room an upload needs, as the window judges one file: the free space of
// the last memory report must exceed the file's size. The command line
// plans its writes by the flash's pages instead (flashroom.h says why).
bool fitsInFreeSpace(qint64 fileSize, const CatalogueFormat::MemoryFigures &figures);

QByteArray uploadStartPayload(const QByteArray &devicePath, quint32 fileSize);
QByteArray uploadChunkPayload(const QByteArray &chunk);

QByteArray downloadRequest(const QByteArray &name);

// One arrival of the download reply: the refusal "d", or the 4-byte size and
// then the content. transferSize is 0 until the size has been taken, then
// the announced size. No receiver holds a file larger than the area of its
// last memory report (CatalogueFormat::wholeAreaBytes()), so a larger size
// is refused as bad.
struct DownloadStep
{
    enum class Status {
        Waiting,    // nothing to show yet
        FirstByte,  // one byte of the size is in
        Receiving,  // content arriving: percent
        Complete,   // content holds the whole file
        Refused,    // the device cannot open the file
        BadSize,    // the announced size is more than the device can hold
    };
    Status status = Status::Waiting;
    int percent = 0;
    QByteArray content;
    // Complete: bytes that came after the file's last one in the same
    // arrival. They are not the file's and are dropped; a line that carries
    // them was not clean.
    int surplus = 0;
};
// Takes the size from received once it is in; a finished download leaves
// received empty and released, with the file's bytes moved into content.
DownloadStep readDownloadReply(QByteArray &received, qint64 &transferSize, quint32 capacity);
// The same reply read as a stream: every arrival's content moves from
// received into step.content at once (Receiving, then Complete with the
// last piece), so no more than one arrival is ever held. delivered counts
// the content handed on so far; percent is of it.
DownloadStep readDownloadStream(QByteArray &received, qint64 &transferSize, qint64 &delivered, quint32 capacity);

// The start frame of an upload of content under devicePath.
QByteArray uploadStartRequest(const QByteArray &devicePath, quint32 fileSize);
// How many chunks an upload of size bytes is sent in: 32 bytes each, the
// last the rest.
qint64 uploadChunkCount(qint64 size);

// The frame that answers the device's "A": the next chunk of at most 32
// bytes from content at offset (which moves past it), or the end frame once
// nothing is left.
QByteArray nextUploadFrame(const QByteArray &content, qint64 &offset);

enum class UploadAnswer {
    None,     // nothing has arrived
    Ready,    // "A": send the next piece
    Finished, // "u": the device has the file
    Stopped,  // "a": the device gave up
    Unknown,  // any other byte, dropped
};
// The device's answer to the latest upload frame, taken from received.
UploadAnswer takeUploadAnswer(QByteArray &received);

// The same answer read against where the upload stands: endSent says
// whether the end frame has gone out.
enum class UploadTurn {
    Waiting,       // nothing, or a byte that answers nothing: dropped
    SendNext,      // "A" before the end frame: the next chunk, or the end frame
    Stored,        // "u" after the end frame: the device has every byte
    EndedEarly,    // "u" before the end frame: the device closed the file short
    Stopped,       // "a": the device gave up
    ReadyAfterEnd, // "A" after the end frame: nothing is left to send
};
UploadTurn takeUploadTurn(QByteArray &received, bool endSent);

} // namespace TransferFormat

#endif // TRANSFERFORMAT_H
