// Reading the local file an upload sends. Only a regular file is taken: a
// named pipe would block the program in open() and a device such as
// /dev/zero never ends. Qt Core only.
#ifndef UPLOADFILE_H
#define UPLOADFILE_H

#include <QtCore/QByteArray>
#include <QtCore/QFile>

#include <optional>

// Opens path for reading if it is a regular file (or a link to one).
bool openUploadFile(QFile &file, const QString &path);

// The file's content, read only up to size, the size measured before
// reading; empty when it cannot be read or has grown or shrunk since.
std::optional<QByteArray> readUploadFile(QFile &file, qint64 size);

#endif // UPLOADFILE_H
