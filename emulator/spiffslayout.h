// How the receiver's SPIFFS counts room and takes names, and how the
// emulator names its files in a host folder. Rules only: the store and the
// backup folder both follow them.
#ifndef SPIFFSLAYOUT_H
#define SPIFFSLAYOUT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

struct StoredFile
{
    QByteArray name; // without the leading "/"
    QByteArray content;
};

namespace SpiffsLayout {

constexpr quint32 PageSize = 256;
// SPIFFS keeps 32 bytes for a name, its terminating zero included.
constexpr int MaxPathBytes = 31;

// A file takes one page for its header (name and size) and one page for
// every started 256 bytes of content.
quint32 pagesFor(quint32 size);
inline quint64 footprint(quint32 size) { return quint64(pagesFor(size)) * PageSize; }

// A name as SPIFFS takes it: not empty, no zero byte, and with the leading
// "/" at most MaxPathBytes long.
bool isValidName(const QByteArray &name);

// The host folder's file name for a device name and back: "%", "/",
// control bytes, bytes of names that are not UTF-8, and a leading "."
// (no hidden files, no "." or "..") are written as %XX.
QString hostFileName(const QByteArray &name);
QByteArray nameFromHostFile(const QString &fileName); // empty when not one of ours

} // namespace SpiffsLayout

#endif // SPIFFSLAYOUT_H
