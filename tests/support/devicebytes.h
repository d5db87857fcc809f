// The receiver's side of the protocol, as the tests play it: frames and
// replies encoded here, independently of the program's own code, so a test
// compares the program's bytes with a second opinion. Portable: no
// pseudo-terminal, no window.
#ifndef DEVICEBYTES_H
#define DEVICEBYTES_H

#include <QtCore/QByteArray>
#include <QtCore/QPair>
#include <QtCore/QVector>

namespace DeviceBytes {
QByteArray be32(quint32 value);
QByteArray frame(char letter, const QByteArray &payload = QByteArray());
QByteArray pathField(const QByteArray &path);
QByteArray memoryReply(quint32 total, quint32 used);
// The opening frame of an upload: path length, file size, path.
QByteArray uploadStartFrame(const QByteArray &path, quint32 size);
using FileEntry = QPair<QByteArray, quint32>; // name, size
QByteArray listingEntries(const QVector<FileEntry> &files);
QByteArray listingReply(const QVector<FileEntry> &files);
}

#endif // DEVICEBYTES_H
