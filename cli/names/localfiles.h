// The local side of put, verify and mv's new name: FILE[:NAME] arguments
// and names given for the receiver, checked before the port is opened, and
// the files' contents, read only up to the size that was checked; the
// folders the jobs read; and the rule for every local file written: never
// through a link leading out. Each problem throws the failure that names it.
#ifndef LOCALFILES_H
#define LOCALFILES_H

#include "cli/line/failures.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVector>

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
QByteArray targetName(const QString &command, const FileArgument &split);

// A local regular file, its size measured; refused as fileAndName() does.
FileAndName localFile(const QString &command, const QString &path);

// FILE or FILE:NAME, as command takes it. A problem throws the failure
// (CommandFailure) that names it.
FileAndName fileAndName(const QString &command, const QString &argument);

// A name for the receiver, checked as the receiver takes names (a leading
// "/" left out). Refused as fileAndName() does: as bad usage when the name
// was typed, as an unusable local file when it was made from a file's name.
QByteArray storableName(const QString &command, const QString &name, bool typed = true);

// Refuses, as failure, sources (local files as named to the user) of which
// two would be stored under one receiver's name, the later one replacing
// the first: names both and the name, before anything is sent.
struct SourceAndName
{
    QString source;
    QByteArray name;
};
void refuseSharedNames(const QString &command, const QVector<SourceAndName> &files, Failure failure);

// Whether path, inside folder, leads out of it once links are followed
// (a link, or a folder on the way that is one). A path that does not exist
// does not.
bool leadsOutside(const QString &folder, const QString &path);

// Why writing path, a file in folder, would write outside folder: a link
// there that leads out of it, or leads nowhere (writing would make its
// target). Empty when writing stays inside. Nothing is ever written through
// such a link.
QString linkProblem(const QString &folder, const QString &path);

// The file's content, never more than was measured.
QByteArray readLocalFile(const QString &command, const FileAndName &file);

// DIR of command (restore, sync): a folder that exists, else refused.
QString existingFolder(const QString &command, const QString &folder);

// Whether bytes, a name from the file system or an argument, come through
// Qt's decoding unchanged. Those that do not (not UTF-8 on a UTF-8 system)
// are left out of Qt's folder listings, and a path made from their decoded
// text opens some other file or none.
bool decodesUnchanged(const QByteArray &bytes);

// The entries of folder whose names do not decode unchanged, by name:
// the ones a listing through Qt leaves out without a word. Always empty on
// Windows, whose names are UTF-16.
struct UndecodableName
{
    QByteArray name;
    bool folder = false; // a folder itself, not a link to one
};
QVector<UndecodableName> undecodableNames(const QString &folder);

#endif // LOCALFILES_H
