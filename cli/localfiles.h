// The local side of put and verify: FILE[:NAME] arguments, checked before
// the port is opened, and the files' contents, read only up to the size
// that was checked.
#ifndef LOCALFILES_H
#define LOCALFILES_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <optional>

// A local file and the device name it goes under.
struct FileAndName
{
    QString localPath;
    QByteArray name;
    qint64 size = 0;
};

// FILE or FILE:NAME, as command takes it; an error is reported on standard
// error and the result is empty.
std::optional<FileAndName> fileAndName(const QString &command, const QString &argument);
std::optional<QByteArray> readLocalFile(const QString &command, const FileAndName &file);

#endif // LOCALFILES_H
