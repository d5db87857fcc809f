// The MANIFEST that `spiffs-cli backup` writes last into its folder and
// `restore` trusts. Plain text, one line each, fields split by one space:
//
//   spiffs-backup 1 DATE TOTAL USED
//   SIZE SHA256 NAME PATH
//   ...
//
// DATE is when the backup was taken (ISO 8601, UTC), TOTAL and USED the
// receiver's memory report. Each file line gives the file's size, the
// SHA-256 of its content in lower-case hex, the receiver's name for it and
// the path of the local copy, relative to the folder, parts split by "/".
// Files are in the receiver's listing order.
//
// NAME holds the receiver's bytes exactly, and PATH the UTF-8 bytes of the
// local path, both escaped so that any byte survives a text editor: a byte
// from "!" to "~" stands for itself, except "\", written "\\"; every other
// byte (space, control characters, DEL and bytes above 0x7F) is "\x" and
// two lower-case hex digits: "caf\xc3\xa9\x201.txt" is the name "café 1.txt".
//
// A file whose name restore could not give back to a receiver (see
// JobPlan::unrestorableReason()) is recorded on a line of its own,
//
//   ! SIZE SHA256 NAME PATH
//
// with "-" for SHA256 and PATH when the receiver would not send it, and
// "\x" alone for an empty NAME. Restore names these and leaves them out.
#ifndef MANIFEST_H
#define MANIFEST_H

#include <QtCore/QByteArray>
#include <QtCore/QDateTime>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <optional>

namespace Manifest {

inline constexpr char FileName[] = "MANIFEST";

// An earlier backup's MANIFEST, kept beside the newest when the newest no
// longer lists all it did: "MANIFEST.2026-12-08T11-30-00Z", the date it was
// taken (UTC, no ":" so every file system takes it), with "~2", "~3", ...
// after it when two were taken in one second.
QString keptName(const QDateTime &taken, int sequence = 1);
bool isKeptName(const QString &fileName);

struct Entry
{
    qint64 size = 0;
    QByteArray sha256; // 32 raw bytes
    QByteArray name;   // the receiver's bytes
    QString path;      // relative to the folder, "/" between parts; empty when not saved
    bool restorable = true;

    bool saved() const { return !sha256.isEmpty(); }
};

struct Contents
{
    QDateTime taken;
    quint32 totalBytes = 0;
    quint32 usedBytes = 0;
    QVector<Entry> entries;
};

QByteArray escaped(const QByteArray &bytes);
// Empty when text is not something escaped() writes.
std::optional<QByteArray> unescaped(const QByteArray &text);

QByteArray write(const Contents &contents);

// The contents, or an error naming the line at fault. Paths that leave the
// folder (absolute, "..", empty parts) and names given twice are errors:
// restore reads and sends what a MANIFEST names.
struct Parsed
{
    std::optional<Contents> contents;
    QString error;
};
Parsed parse(const QByteArray &text);

} // namespace Manifest

#endif // MANIFEST_H
