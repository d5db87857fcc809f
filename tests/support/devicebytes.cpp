#include "devicebytes.h"

namespace DeviceBytes {

QByteArray be32(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

QByteArray frame(char letter, const QByteArray &payload)
{
    return QByteArray("K-Wanderer______") + letter + payload;
}

QByteArray pathField(const QByteArray &path)
{
    return be32(quint32(path.size())) + path;
}

QByteArray memoryReply(quint32 total, quint32 used)
{
    return be32(total) + be32(used);
}

QByteArray uploadStartFrame(const QByteArray &path, quint32 size)
{
    return frame('U', be32(quint32(path.size())) + be32(size) + path);
}

QByteArray listingEntries(const QVector<FileEntry> &files)
{
    QByteArray entries;
    for (const FileEntry &file : files)
        entries += be32(quint32(file.first.size())) + be32(file.second) + file.first;
    return entries;
}

QByteArray listingReply(const QVector<FileEntry> &files)
{
    const QByteArray entries = listingEntries(files);
    return be32(quint32(entries.size())) + entries;
}

} // namespace DeviceBytes
