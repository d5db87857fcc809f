// get, cat, put and verify: files to and from the receiver.
#include "clisession.h"
#include "commands.h"
#include "console.h"
#include "devicenames.h"
#include "localfiles.h"
#include "progressmeter.h"

#include "core/devicesession.h"
#include "core/transferformat.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QHash>
#include <QtCore/QJsonObject>
#include <QtCore/QSaveFile>

#include <algorithm>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace {

// Where get saves each file, in files' order, once nothing stands in the
// way: two names that flatten to one local name would overwrite each other,
// and a link there would take the file out of the folder. None, the
// problem reported, when something does.
std::optional<QStringList> savedPaths(const CommandContext &context, const QString &folder, const QVector<ListingEntry> &files)
{
    QHash<QString, QByteArray> savedAs;
    QStringList paths;
    for (const ListingEntry &entry : files) {
        const QString local = TransferFormat::localFileName(deviceNameText(entry.name));
        const auto taken = savedAs.constFind(local.toCaseFolded());
        if (taken != savedAs.cend()) {
            context.output.fail(Failure::LocalFile, QStringLiteral("get: %1 and %2 would both be saved as %3; get them "
                                                                   "into different folders, or use backup")
                                                            .arg(shownName(*taken), shownName(entry.name), local));
            return std::nullopt;
        }
        savedAs.insert(local.toCaseFolded(), entry.name);
        paths << QDir(folder).filePath(local);
        if (const QString problem = linkProblem(folder, paths.constLast()); !problem.isEmpty()) {
            context.output.fail(Failure::LocalFile, QStringLiteral("get %1: %2; nothing written through it, nothing got")
                                                            .arg(shownName(entry.name), problem));
            return std::nullopt;
        }
    }
    return paths;
}

// Written only once the whole file is in: a local file of that name is
// replaced by a complete one or not at all. The folder is made for the
// first file, so a get that saves nothing makes none.
int saveDownload(const CommandContext &context, const QString &folder, const ListingEntry &entry,
                 const QString &localPath, const QByteArray &content)
{
    const QString shown = shownName(entry.name);
    if (!QDir().mkpath(folder))
        return context.output.fail(Failure::LocalFile, QStringLiteral("get: cannot make the folder %1").arg(folder));
    QSaveFile file(localPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        return context.output.fail(Failure::LocalFile,
                                   QStringLiteral("get %1: cannot write %2: %3").arg(shown, localPath, file.errorString()));
    }
    const QString localName = QFileInfo(localPath).fileName();
    if (localName != deviceNameText(entry.name))
        context.output.note(QStringLiteral("get: %1 saved as %2").arg(shown, localName));
    context.output.addDone(QJsonObject{{QStringLiteral("name"), deviceNameText(entry.name)},
                                       {QStringLiteral("size"), content.size()},
                                       {QStringLiteral("path"), localPath}});
    return ExitDone;
}

} // namespace

int runGet(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    const QString folder = line.outputFolder.isEmpty() ? QStringLiteral(".") : line.outputFolder;
    if (QFileInfo::exists(folder) && !QFileInfo(folder).isDir())
        return output.fail(Failure::LocalFile, QStringLiteral("get: %1 is not a folder").arg(folder));
    output.keepDoneList();
    if (const int status = session.open())
        return status;

    int failed = ExitDone;
    const std::optional<QVector<ListingEntry>> listing = session.listing(QStringLiteral("get"), &failed);
    if (!listing)
        return failed;
    QStringList unmatched;
    const QVector<ListingEntry> files = DeviceNames::selectAll(line.arguments, *listing, &unmatched);
    for (const QString &argument : std::as_const(unmatched))
        failed = output.fail(Failure::NoSuchFile, QStringLiteral("get: no such file: %1").arg(argument));
    if (failed)
        return failed;
    const std::optional<QStringList> paths = savedPaths(context, folder, files);
    if (!paths)
        return ExitFailed;

    for (int i = 0; i < files.size(); ++i) {
        const ListingEntry &entry = files.at(i);
        ProgressMeter meter(shownName(entry.name), session.showsProgress());
        const OwnedReply reply(session.device().download(entry.name));
        if (!session.await(reply.get(), &meter))
            return session.failure(reply.get(), QStringLiteral("get %1").arg(shownName(entry.name)));
        if (const int status = saveDownload(context, folder, entry, paths->at(i), reply->content()))
            return status;
    }
    return ExitDone;
}

int runCat(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    if (const int status = session.open())
        return status;
    int failed = ExitDone;
    const std::optional<ListingEntry> file = oneListedFile(context, context.line.arguments.constFirst(), &failed);
    if (!file)
        return failed;
    const QString shown = shownName(file->name);
    output.result().insert(QStringLiteral("name"), deviceNameText(file->name));

    // A document holds the content itself: standard output is the document's.
    if (context.line.json) {
        const OwnedReply reply(session.device().download(file->name));
        if (!session.await(reply.get()))
            return session.failure(reply.get(), QStringLiteral("cat %1").arg(shown));
        output.result().insert(QStringLiteral("size"), reply->content().size());
        output.result().insert(QStringLiteral("contentBase64"), QLatin1String(reply->content().toBase64()));
        return ExitDone;
    }

    // Each piece goes out as it arrives: a reader such as grep sees the file
    // as it comes, and memory holds one piece.
    Console::WriteResult written = Console::WriteResult::Written;
    ProgressMeter meter(shown, session.showsProgress());
    const OwnedReply reply(session.device().downloadStreamed(file->name));
    QObject::connect(reply.get(), &DeviceReply::contentArrived, reply.get(), [&](const QByteArray &piece) {
        if (written != Console::WriteResult::Written)
            return;
        written = Console::writeData(piece);
        if (written != Console::WriteResult::Written)
            session.stop();
    });
    const bool done = session.await(reply.get(), &meter);
    // The reader went away: that is the end of the command, not a failure.
    if (written == Console::WriteResult::Closed)
        return ExitDone;
    if (written == Console::WriteResult::Failed)
        return output.fail(Failure::LocalFile, QStringLiteral("cat %1: standard output takes no more").arg(shown));
    if (!done)
        return session.failure(reply.get(), QStringLiteral("cat %1").arg(shown));
    output.result().insert(QStringLiteral("size"), reply->bytesDone());
    return ExitDone;
}

int runPut(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    QVector<FileAndName> files;
    int failed = ExitDone;
    for (const QString &argument : line.arguments) {
        const std::optional<FileAndName> file = fileAndName(output, line.command, argument, &failed);
        if (!file)
            return failed;
        files << *file;
    }
    output.keepDoneList();
    if (const int status = session.open())
        return status;

    for (const FileAndName &file : std::as_const(files)) {
        const QString name = shownName(file.name);
        const OwnedReply memory(session.device().requestMemoryReport());
        if (!session.await(memory.get()))
            return session.failure(memory.get(), QStringLiteral("put %1").arg(file.localPath));
        if (!TransferFormat::fitsInFreeSpace(file.size, memory->memory())) {
            return output.fail(Failure::Refused, QStringLiteral("put %1: %2 bytes do not fit in the receiver's %3 free bytes")
                                                         .arg(file.localPath)
                                                         .arg(file.size)
                                                         .arg(CatalogueFormat::freeBytes(memory->memory())));
        }
        const std::optional<QByteArray> content = readLocalFile(output, line.command, file, &failed);
        if (!content)
            return failed;

        {
            ProgressMeter meter(name, session.showsProgress());
            const OwnedReply upload(session.device().upload(file.name, *content));
            if (!session.await(upload.get(), &meter))
                return session.failure(upload.get(), QStringLiteral("put %1").arg(file.localPath));
        }
        if (!file.nameGiven && QString::fromLatin1(file.name) != QFileInfo(file.localPath).fileName())
            output.note(QStringLiteral("put: %1 stored as %2").arg(file.localPath, name));
        QJsonObject done{{QStringLiteral("file"), file.localPath},
                         {QStringLiteral("name"), QString::fromLatin1(file.name)},
                         {QStringLiteral("size"), file.size}};
        if (line.verify) {
            ProgressMeter meter(name + QStringLiteral(" (verify)"), session.showsProgress());
            const OwnedReply download(session.device().download(file.name));
            if (!session.await(download.get(), &meter))
                return session.failure(download.get(), QStringLiteral("put --verify %1").arg(name));
            if (download->content() != *content) {
                return output.fail(Failure::Mismatch,
                                   QStringLiteral("put %1: the receiver's copy of %2 differs from it").arg(file.localPath, name));
            }
            output.note(QStringLiteral("put: %1 verified").arg(name));
            done.insert(QStringLiteral("verified"), true);
        }
        output.addDone(done);
    }
    return ExitDone;
}

int checkPut(const CommandContext &context)
{
    int failed = ExitDone;
    for (const QString &argument : context.line.arguments) {
        if (!targetName(context.output, context.line.command, splitFileArgument(argument), &failed))
            return failed;
    }
    return ExitDone;
}

int runVerify(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    int failed = ExitDone;
    // NAME is looked up in the listing, as ls would find it: it may be a
    // pattern, or a name put would not give.
    const FileArgument argument = splitFileArgument(line.arguments.constFirst());
    std::optional<FileAndName> file = argument.nameGiven
                                              ? localFile(output, line.command, argument.file, &failed)
                                              : fileAndName(output, line.command, argument.file, &failed);
    if (!file)
        return failed;
    if (const int status = session.open())
        return status;
    const std::optional<ListingEntry> entry =
            oneListedFile(context, argument.nameGiven ? argument.name : QString::fromLatin1(file->name), &failed);
    if (!entry)
        return failed;
    file->name = entry->name;

    const QString name = shownName(file->name);
    output.result() = QJsonObject{{QStringLiteral("file"), file->localPath}, {QStringLiteral("name"), deviceNameText(file->name)}};
    ProgressMeter meter(name, session.showsProgress());
    const OwnedReply reply(session.device().download(file->name));
    if (!session.await(reply.get(), &meter))
        return session.failure(reply.get(), QStringLiteral("verify %1").arg(name));
    const QByteArray received = reply->content();
    // A size that differs needs no reading; the local file is read only
    // when it can be as small as the receiver's copy.
    if (received.size() != file->size) {
        output.result().insert(QStringLiteral("identical"), false);
        return output.fail(Failure::Mismatch, QStringLiteral("verify: %1 holds %2 bytes, the receiver's %3 holds %4")
                                                      .arg(file->localPath)
                                                      .arg(file->size)
                                                      .arg(name)
                                                      .arg(received.size()));
    }
    const std::optional<QByteArray> local = readLocalFile(output, line.command, *file, &failed);
    if (!local)
        return failed;
    const auto difference = std::mismatch(local->cbegin(), local->cend(), received.cbegin());
    if (difference.first != local->cend()) {
        output.result().insert(QStringLiteral("identical"), false);
        output.result().insert(QStringLiteral("differsAt"), qint64(difference.first - local->cbegin()));
        return output.fail(Failure::Mismatch, QStringLiteral("verify: %1 and the receiver's %2 differ from byte %3 on")
                                                      .arg(file->localPath, name)
                                                      .arg(difference.first - local->cbegin()));
    }
    output.result().insert(QStringLiteral("identical"), true);
    output.note(QStringLiteral("verify: %1 and the receiver's %2 are identical").arg(file->localPath, name));
    return ExitDone;
}
