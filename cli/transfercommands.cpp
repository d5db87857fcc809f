// get, cat, put and verify: files to and from the receiver.
#include "clisession.h"
#include "clitext.h"
#include "commands.h"
#include "console.h"
#include "localfiles.h"
#include "progressmeter.h"

#include "core/devicesession.h"
#include "core/transferformat.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>

#include <algorithm>

using CatalogueFormat::deviceNameText;

int runGet(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    const QString folder = line.outputFolder.isEmpty() ? QStringLiteral(".") : line.outputFolder;
    if (!QFileInfo(folder).isDir()) {
        Console::printError(QStringLiteral("get: no such folder: %1").arg(folder));
        return ExitUsage;
    }
    if (const int status = session.open())
        return status;

    for (const QString &argument : line.arguments) {
        const QByteArray name = argument.toUtf8();
        const QString localPath = QDir(folder).filePath(TransferFormat::localFileName(deviceNameText(name)));
        ProgressMeter meter(argument, session.showsProgress());
        DeviceReply *reply = session.device().download(name);
        if (!session.await(reply, &meter))
            return session.failure(reply, QStringLiteral("get %1").arg(argument));

        // Written only once the whole file is in: a local file of that name
        // is replaced by a complete one or not at all.
        QSaveFile file(localPath);
        const QByteArray content = reply->content();
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
            Console::printError(QStringLiteral("get %1: cannot write %2: %3").arg(argument, localPath, file.errorString()));
            return ExitFailed;
        }
        reply->deleteLater();
    }
    return ExitDone;
}

int runCat(const CommandContext &context)
{
    CliSession &session = context.session;
    if (const int status = session.open())
        return status;
    const QString &argument = context.line.arguments.constFirst();
    ProgressMeter meter(argument, session.showsProgress());
    DeviceReply *reply = session.device().download(argument.toUtf8());
    if (!session.await(reply, &meter))
        return session.failure(reply, QStringLiteral("cat %1").arg(argument));
    if (!Console::writeData(reply->content())) {
        Console::printError(QStringLiteral("cat %1: standard output takes no more").arg(argument));
        return ExitFailed;
    }
    return ExitDone;
}

int runPut(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    QVector<FileAndName> files;
    for (const QString &argument : line.arguments) {
        const std::optional<FileAndName> file = fileAndName(line.command, argument);
        if (!file)
            return ExitUsage;
        files << *file;
    }
    if (const int status = session.open())
        return status;

    for (const FileAndName &file : std::as_const(files)) {
        const QString name = shownName(file.name);
        DeviceReply *memory = session.device().requestMemoryReport();
        if (!session.await(memory))
            return session.failure(memory, QStringLiteral("put %1").arg(file.localPath));
        if (!TransferFormat::fitsInFreeSpace(file.size, memory->memory())) {
            Console::printError(QStringLiteral("put %1: %2 bytes do not fit in the receiver's %3 free bytes")
                                        .arg(file.localPath)
                                        .arg(file.size)
                                        .arg(CatalogueFormat::freeBytes(memory->memory())));
            return ExitFailed;
        }
        const std::optional<QByteArray> content = readLocalFile(line.command, file);
        if (!content)
            return ExitFailed;

        {
            ProgressMeter meter(name, session.showsProgress());
            DeviceReply *upload = session.device().upload(file.name, *content);
            if (!session.await(upload, &meter))
                return session.failure(upload, QStringLiteral("put %1").arg(file.localPath));
        }
        if (line.verify) {
            ProgressMeter meter(name + QStringLiteral(" (verify)"), session.showsProgress());
            DeviceReply *download = session.device().download(file.name);
            if (!session.await(download, &meter))
                return session.failure(download, QStringLiteral("put --verify %1").arg(name));
            if (download->content() != *content) {
                Console::printError(QStringLiteral("put %1: the receiver's copy of %2 differs from it").arg(file.localPath, name));
                return ExitMismatch;
            }
        }
    }
    return ExitDone;
}

int runVerify(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    const std::optional<FileAndName> file = fileAndName(line.command, line.arguments.constFirst());
    if (!file)
        return ExitUsage;
    if (const int status = session.open())
        return status;

    const QString name = shownName(file->name);
    ProgressMeter meter(name, session.showsProgress());
    DeviceReply *reply = session.device().download(file->name);
    if (!session.await(reply, &meter))
        return session.failure(reply, QStringLiteral("verify %1").arg(name));
    const QByteArray received = reply->content();
    // A size that differs needs no reading; the local file is read only
    // when it can be as small as the receiver's copy.
    if (received.size() != file->size) {
        Console::printError(QStringLiteral("verify: %1 holds %2 bytes, the receiver's %3 holds %4")
                                    .arg(file->localPath)
                                    .arg(file->size)
                                    .arg(name)
                                    .arg(received.size()));
        return ExitMismatch;
    }
    const std::optional<QByteArray> local = readLocalFile(line.command, *file);
    if (!local)
        return ExitFailed;
    const auto difference = std::mismatch(local->cbegin(), local->cend(), received.cbegin());
    if (difference.first != local->cend()) {
        Console::printError(QStringLiteral("verify: %1 and the receiver's %2 differ from byte %3 on")
                                    .arg(file->localPath, name)
                                    .arg(difference.first - local->cbegin()));
        return ExitMismatch;
    }
    return ExitDone;
}
