#include "cli/names/localfiles.h"

#include "cli/names/devicenames.h"
#include "cli/line/failures.h"

#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QHash>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

// Where FILE ends in FILE:NAME; -1 when the argument is a FILE alone. NAME
// never holds a ":", so the last one splits, unless it is a drive letter's.
int nameSeparator(const QString &argument)
{
    const int colon = argument.lastIndexOf(QLatin1Char(':'));
    const bool driveLetter = colon == 1 && argument.at(0).isLetter() && argument.size() > 2
                             && (argument.at(2) == QLatin1Char('\\') || argument.at(2) == QLatin1Char('/'));
    return driveLetter ? -1 : colon;
}

} // namespace

QByteArray storableName(const QString &command, const QString &given, bool typed)
{
    const QString name = DeviceNames::fromUser(given);
    const Failure refused = typed ? Failure::Usage : Failure::LocalFile;
    switch (TransferFormat::storableNameProblem(name)) {
    case TransferFormat::NameProblem::None:
        return name.toLatin1();
    case TransferFormat::NameProblem::Characters:
        throw CommandFailure(refused, QStringLiteral("%1: the name \"%2\" holds characters the receiver's names do not: "
                                                               "only A-Z a-z 0-9 _ ' ( ) * + , - . and / are sent")
                                                        .arg(command, name));
    case TransferFormat::NameProblem::Shape:
        throw CommandFailure(refused, QStringLiteral("%1: the name \"%2\" needs something before its first \".\" "
                                                               "and a type after it")
                                                        .arg(command, name));
    case TransferFormat::NameProblem::Length:
        throw CommandFailure(refused, QStringLiteral("%1: the name \"%2\" is longer than the receiver's %3 bytes")
                                                        .arg(command, name,
                                                             QString::number(TransferFormat::MaxDevicePathBytes - 1)));
    }
    Q_UNREACHABLE();
    return QByteArray();
}

FileArgument splitFileArgument(const QString &argument)
{
    FileArgument split;
    const int separator = QFileInfo::exists(argument) ? -1 : nameSeparator(argument);
    split.file = separator >= 0 ? argument.left(separator) : argument;
    split.nameGiven = separator >= 0;
    if (split.nameGiven)
        split.name = argument.mid(separator + 1);
    return split;
}

FileAndName localFile(const QString &command, const QString &path)
{
    FileAndName file;
    file.localPath = path;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        throw CommandFailure(Failure::LocalFile, QStringLiteral("%1: no such file: %2").arg(command, path));
    }
    if (info.isDir()) {
        throw CommandFailure(Failure::LocalFile, QStringLiteral("%1: %2 is a folder; spiffs-cli sync %2 sends a folder's files")
                                                          .arg(command, path));
    }
    // A device or a pipe has no size to measure and check against the room.
    if (!info.isFile()) {
        throw CommandFailure(Failure::LocalFile, QStringLiteral("%1: not a regular file: %2").arg(command, path));
    }
    file.size = info.size();
    return file;
}

QByteArray targetName(const QString &command, const FileArgument &split)
{
    const QString name = split.nameGiven ? split.name : TransferFormat::uploadName(QDir::fromNativeSeparators(split.file));
    return storableName(command, name, split.nameGiven);
}

FileAndName fileAndName(const QString &command, const QString &argument)
{
    const FileArgument split = splitFileArgument(argument);
    FileAndName file = localFile(command, split.file);
    file.nameGiven = split.nameGiven;
    file.name = targetName(command, split);
    return file;
}

void refuseSharedNames(const QString &command, const QVector<SourceAndName> &files, Failure failure)
{
    QHash<QByteArray, QString> sources;
    for (const SourceAndName &file : files) {
        const auto first = sources.constFind(file.name);
        if (first != sources.cend() && *first != file.source) {
            throw CommandFailure(failure, QStringLiteral("%1: %2 and %3 would both be stored as %4, the second "
                                                         "replacing the first; nothing sent")
                                                  .arg(command, *first, file.source, shownName(file.name)));
        }
        sources.insert(file.name, file.source);
    }
}

bool leadsOutside(const QString &folder, const QString &path)
{
    const QString top = QFileInfo(folder).canonicalFilePath();
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return false;
    return top.isEmpty() || !(target + QLatin1Char('/')).startsWith(top + QLatin1Char('/'));
}

QString linkProblem(const QString &folder, const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return QString();
    // Writing through a link that leads nowhere makes its target, wherever
    // that is.
    if (!info.exists())
        return QStringLiteral("%1 is a link to %2, which does not exist").arg(path, info.symLinkTarget());
    if (leadsOutside(folder, path))
        return QStringLiteral("%1 is a link leading outside %2").arg(path, folder);
    return QString();
}

QByteArray readLocalFile(const QString &command, const FileAndName &file)
{
    QFile local;
    if (!openUploadFile(local, file.localPath)) {
        const QString reason = local.error() != QFileDevice::NoError ? local.errorString()
                                                                     : QStringLiteral("not a regular file");
        throw CommandFailure(Failure::LocalFile, QStringLiteral("%1: cannot read %2: %3").arg(command, file.localPath, reason));
    }
    // Never more than was measured and checked against the room.
    std::optional<QByteArray> content = readUploadFile(local, file.size);
    if (!content)
        throw CommandFailure(Failure::LocalFile, QStringLiteral("%1: %2 changed while it was read").arg(command, file.localPath));
    return *content;
}

QString existingFolder(const QString &command, const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        throw CommandFailure(Failure::LocalFile, QStringLiteral("%1: no such folder: %2").arg(command, folder));
    return folder;
}

bool decodesUnchanged(const QByteArray &bytes)
{
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QVector<UndecodableName> undecodableNames(const QString &folder)
{
    QVector<UndecodableName> names;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(folder);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (decodesUnchanged(name))
            continue;
        struct stat status;
        names << UndecodableName{name, ::lstat((path + '/' + name).constData(), &status) == 0 && S_ISDIR(status.st_mode)};
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const UndecodableName &a, const UndecodableName &b) { return a.name < b.name; });
#else
    Q_UNUSED(folder)
#endif
    return names;
}
