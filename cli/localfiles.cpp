#include "localfiles.h"

#include "console.h"

#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

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

std::optional<FileAndName> fileAndName(const QString &command, const QString &argument)
{
    FileAndName file;
    QString name;
    bool nameGiven = false;
    const int separator = QFileInfo::exists(argument) ? -1 : nameSeparator(argument);
    if (separator >= 0) {
        file.localPath = argument.left(separator);
        name = argument.mid(separator + 1);
        nameGiven = true;
    } else {
        file.localPath = argument;
    }

    const QFileInfo info(file.localPath);
    if (file.localPath.isEmpty() || !info.exists()) {
        Console::printError(QStringLiteral("%1: no such file: %2").arg(command, file.localPath));
        return std::nullopt;
    }
    // A device or a pipe has no size to measure and check against the room.
    if (!info.isFile()) {
        Console::printError(QStringLiteral("%1: not a regular file: %2").arg(command, file.localPath));
        return std::nullopt;
    }
    file.size = info.size();

    if (!nameGiven)
        name = TransferFormat::uploadName(QDir::fromNativeSeparators(file.localPath));
    switch (TransferFormat::storableNameProblem(name)) {
    case TransferFormat::NameProblem::None:
        break;
    case TransferFormat::NameProblem::Characters:
        Console::printError(QStringLiteral("%1: the name \"%2\" holds characters the receiver's names do not: "
                                           "only A-Z a-z 0-9 _ ' ( ) * + , - . and / are sent")
                                    .arg(command, name));
        return std::nullopt;
    case TransferFormat::NameProblem::Shape:
        Console::printError(QStringLiteral("%1: the name \"%2\" needs something before its first \".\" and a type after it")
                                    .arg(command, name));
        return std::nullopt;
    case TransferFormat::NameProblem::Length:
        Console::printError(QStringLiteral("%1: the name \"%2\" is longer than the receiver's %3 bytes")
                                    .arg(command, name)
                                    .arg(TransferFormat::MaxDevicePathBytes - 1));
        return std::nullopt;
    }
    file.name = name.toLatin1();
    return file;
}

std::optional<QByteArray> readLocalFile(const QString &command, const FileAndName &file)
{
    QFile local;
    if (!openUploadFile(local, file.localPath)) {
        const QString reason = local.error() != QFileDevice::NoError ? local.errorString()
                                                                     : QStringLiteral("not a regular file");
        Console::printError(QStringLiteral("%1: cannot read %2: %3").arg(command, file.localPath, reason));
        return std::nullopt;
    }
    // Never more than was measured and checked against the room.
    std::optional<QByteArray> content = readUploadFile(local, file.size);
    if (!content)
        Console::printError(QStringLiteral("%1: %2 changed while it was read").arg(command, file.localPath));
    return content;
}
