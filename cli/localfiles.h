// The local side of put, verify and mv's new name: FILE[:NAME] arguments
// and names given for the receiver, checked before the port is opened, and
// the files' contents, read only up to the size that was checked; and the
// rule for every local file written: never through a link leading out.
#ifndef LOCALFILES_H
#define LOCALFILES_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <optional>

class CommandOutput;

// A local file and the device name it goes under.
struct FileAndName
{
    QString localPath;
    QByteArray name;
    bool nameGiven = false; // NAME was part of the argument
    qint64 size = 0;
};

// FILE[:NAME] split in two; the name is empty when not given.
struct FileArgument
{
    QString file;
    QString name;
    bool nameGiven = false;
};
FileArgument splitFileArgument(const QString &argument);

// The device name FILE[:NAME] goes under, checked as fileAndName() checks
// it; FILE itself is not looked at.
std::optional<QByteArray> targetName(CommandOutput &output, const QString &command, const FileArgument &split,
                                     int *status);

// A local regular file, its size measured; reported as fileAndName() does.
std::optional<FileAndName> localFile(CommandOutput &output, const QString &command, const QString &path, int *status);

// FILE or FILE:NAME, as command takes it. A problem is reported through
// output, its exit status put in status, and the result is empty.
std::optional<FileAndName> fileAndName(CommandOutput &output, const QString &command, const QString &argument,
                                       int *status);

// A name for the receiver, checked as the receiver takes names (a leading
// "/" left out). Reported as fileAndName() does: as bad usage when the name
// was typed, as an unusable local file when it was made from a file's name.
std::optional<QByteArray> storableName(CommandOutput &output, const QString &command, const QString &name,
                                       int *status, bool typed = true);

// Why writing path, a file in folder, would write outside folder: a link
// there that leads out of it, or leads nowhere (writing would make its
// target). Empty when writing stays inside. Nothing is ever written through
// such a link.
QString linkProblem(const QString &folder, const QString &path);

std::optional<QByteArray> readLocalFile(CommandOutput &output, const QString &command, const FileAndName &file,
                                        int *status);

#endif // LOCALFILES_H
