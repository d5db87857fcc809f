// get, cat, put and verify: files to and from the receiver.
#include "cli/session/clisession.h"
#include "cli/commands/commands.h"
#include "cli/output/console.h"
#include "cli/names/devicenames.h"
#include "cli/names/localfiles.h"
#include "cli/output/progressmeter.h"
#include "cli/jobs/receiverwrites.h"

#include "core/devicesession.h"
#include "core/localsave.h"
#include "core/transferformat.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QHash>
#include <QtCore/QJsonObject>
#include <QtCore/QSet>

#include <algorithm>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace {

// Where get saves each file, in files' order, once nothing stands in the
// way: two names that flatten to one local name would overwrite each other,
// and a link there would take the file out of the folder.
QStringList savedPaths(const QString &folder, const QVector<ListingEntry> &files)
{
    QHash<QString, QByteArray> savedAs;
    QStringList paths;
    for (const ListingEntry &entry : files) {
        const QString local = TransferFormat::localFileName(deviceNameText(entry.name));
        const auto taken = savedAs.constFind(local.toCaseFolded());
        if (taken != savedAs.cend()) {
            throw CommandFailure(Failure::LocalFile, QStringLiteral("get: %1 and %2 would both be saved as %3; get them "
                                                                    "into different folders, or use backup")
                                                             .arg(shownName(*taken), shownName(entry.name), local));
        }
        savedAs.insert(local.toCaseFolded(), entry.name);
        paths << QDir(folder).filePath(local);
        if (const QString problem = linkProblem(folder, paths.constLast()); !problem.isEmpty()) {
            throw CommandFailure(Failure::LocalFile, QStringLiteral("get %1: %2; nothing written through it, nothing got")
                                                             .arg(shownName(entry.name), problem));
        }
    }
    return paths;
}

// Written only once the whole file is in: a local file of that name is
// replaced by a complete one or not at all. The folder is made for the
// first file, so a get that saves nothing makes none.
void saveDownload(const CommandContext &context, const QString &folder, const ListingEntry &entry,
                  const QString &localPath, const QByteArray &content)
{
    const QString shown = shownName(entry.name);
    if (!QDir().mkpath(folder))
        throw CommandFailure(Failure::LocalFile, QStringLiteral("get: cannot make the folder %1").arg(folder));
    if (const QString problem = LocalSave::replace(localPath, content); !problem.isEmpty()) {
        throw CommandFailure(Failure::LocalFile,
                             QStringLiteral("get %1: cannot write %2: %3").arg(shown, localPath, problem));
    }
    const QString localName = QFileInfo(localPath).fileName();
    if (localName != deviceNameText(entry.name))
        context.output.note(QStringLiteral("get: %1 saved as %2").arg(shown, localName));
    context.output.addDone(withName({{QStringLiteral("size"), content.size()}, {QStringLiteral("path"), localPath}}, entry.name));
}

// Every file the arguments stand for; one that stands for none is a
// failure before anything is downloaded.
QVector<ListingEntry> selectedFiles(const CommandContext &context)
{
    QStringList unmatched;
    const QVector<ListingEntry> files =
            DeviceNames::selectAll(context.line.command, context.line.arguments, context.session.listing(context.line.command), &unmatched);
    QStringList problems;
    for (const QString &argument : std::as_const(unmatched))
        problems << QStringLiteral("%1: no such file: %2").arg(context.line.command, argument);
    failIfAny(Failure::NoSuchFile, problems);
    return files;
}

// cat's pieces to standard output as they arrive: a reader such as grep
// sees the file as it comes, and memory holds one piece.
void catStreamed(const CommandContext &context, const ListingEntry &file)
{
    CliSession &session = context.session;
    const QString shown = shownName(file.name);
    Console::WriteResult written = Console::WriteResult::Written;
    ProgressMeter meter(shown, session.showsProgress());
    const OwnedReply reply(session.device().downloadStreamed(file.name, file.size));
    QObject::connect(reply.get(), &DeviceReply::contentArrived, reply.get(), [&](const QByteArray &piece) {
        if (written != Console::WriteResult::Written)
            return;
        written = Console::writeData(piece);
        if (written != Console::WriteResult::Written)
            session.stop();
    });
    const bool done = session.await(reply, &meter);
    // The reader went away: that is the end of the command, not a failure.
    if (written == Console::WriteResult::Closed)
        return;
    if (written == Console::WriteResult::Failed)
        throw CommandFailure(Failure::LocalFile, QStringLiteral("cat %1: standard output takes no more").arg(shown));
    if (!done)
        throw session.failure(*reply, QStringLiteral("cat %1").arg(shown));
    context.output.result().insert(QStringLiteral("size"), reply->bytesDone());
}

} // namespace

void runGet(const CommandContext &context)
{
    CliSession &session = context.session;
    const QString folder = context.line.outputFolder.isEmpty() ? QStringLiteral(".") : context.line.outputFolder;
    if (QFileInfo::exists(folder) && !QFileInfo(folder).isDir())
        throw CommandFailure(Failure::LocalFile, QStringLiteral("get: %1 is not a folder").arg(folder));
    context.output.keepDoneList();
    const QVector<ListingEntry> files = selectedFiles(context);
    const QStringList paths = savedPaths(folder, files);
    for (int i = 0; i < files.size(); ++i) {
        const ListingEntry &entry = files.at(i);
        ProgressMeter meter(shownName(entry.name), session.showsProgress());
        const OwnedReply reply =
                session.answer(session.device().download(entry.name, entry.size), QStringLiteral("get %1").arg(shownName(entry.name)), &meter);
        saveDownload(context, folder, entry, paths.at(i), reply->content());
    }
}

void runCat(const CommandContext &context)
{
    CliSession &session = context.session;
    const ListingEntry file = session.oneListedFile(context.line.command, context.line.arguments.constFirst());
    context.output.result() = withName(context.output.result(), file.name);
    if (!context.line.json)
        return catStreamed(context, file);
    // A document holds the content itself: standard output is the document's.
    const OwnedReply reply = session.answer(session.device().download(file.name, file.size), QStringLiteral("cat %1").arg(shownName(file.name)));
    context.output.result().insert(QStringLiteral("size"), reply->content().size());
    context.output.result().insert(QStringLiteral("contentBase64"), QLatin1String(reply->content().toBase64()));
}

void runPut(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CommandOutput &output = context.output;
    QVector<ReceiverWrites::FileToStore> files;
    QVector<SourceAndName> sources;
    QSet<QString> cleanedNames; // stored under a name cleaned from the file's, which put says
    for (const QString &argument : line.arguments) {
        const FileAndName file = fileAndName(line.command, argument);
        const bool cleaned = !file.nameGiven && QString::fromLatin1(file.name) != QFileInfo(file.localPath).fileName();
        files << ReceiverWrites::FileToStore{file.name, file.size, file.localPath,
                                             [command = line.command, file] { return readLocalFile(command, file); }};
        sources << SourceAndName{file.localPath, file.name};
        if (cleaned)
            cleanedNames.insert(file.localPath);
    }
    refuseSharedNames(line.command, sources, Failure::Usage);
    output.keepDoneList();

    const auto doneWith = [](const ReceiverWrites::FileToStore &file) {
        return QJsonObject{{QStringLiteral("file"), file.source},
                           {QStringLiteral("name"), QString::fromLatin1(file.name)},
                           {QStringLiteral("size"), file.size}};
    };
    ReceiverWrites::StoreSteps steps;
    steps.sent = [&](const ReceiverWrites::FileToStore &file) {
        if (cleanedNames.contains(file.source))
            output.note(QStringLiteral("put: %1 stored as %2").arg(file.source, shownName(file.name)));
        if (!line.verify)
            output.addDone(doneWith(file));
    };
    steps.verified = [&](const ReceiverWrites::FileToStore &file) {
        output.note(QStringLiteral("put: %1 verified").arg(shownName(file.name)));
        QJsonObject verified = doneWith(file);
        verified.insert(QStringLiteral("verified"), true);
        output.addDone(verified);
    };
    ReceiverWrites::store(context, files, line.verify, steps);
}

void checkPut(const CommandContext &context)
{
    QVector<SourceAndName> sources;
    for (const QString &argument : context.line.arguments) {
        const FileArgument split = splitFileArgument(argument);
        sources << SourceAndName{split.file, targetName(context.line.command, split)};
    }
    refuseSharedNames(context.line.command, sources, Failure::Usage);
}

namespace {

// Where file and the receiver's copy first differ; equal sizes.
void compareCopies(const CommandContext &context, const FileAndName &file, const QByteArray &received)
{
    const QString name = shownName(file.name);
    const QByteArray local = readLocalFile(context.line.command, file);
    const auto difference = std::mismatch(local.cbegin(), local.cend(), received.cbegin());
    if (difference.first != local.cend()) {
        context.output.result().insert(QStringLiteral("identical"), false);
        context.output.result().insert(QStringLiteral("differsAt"), qint64(difference.first - local.cbegin()));
        throw CommandFailure(Failure::Mismatch, QStringLiteral("verify: %1 and the receiver's %2 differ from byte %3 on")
                                                        .arg(file.localPath, name,
                                                             QString::number(difference.first - local.cbegin())));
    }
    context.output.result().insert(QStringLiteral("identical"), true);
    context.output.note(QStringLiteral("verify: %1 and the receiver's %2 are identical").arg(file.localPath, name));
}

} // namespace

void runVerify(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    // NAME is looked up in the listing, as ls would find it: it may be a
    // pattern, or a name put would not give.
    const FileArgument argument = splitFileArgument(line.arguments.constFirst());
    FileAndName file = argument.nameGiven ? localFile(line.command, argument.file) : fileAndName(line.command, argument.file);
    const ListingEntry listed = session.oneListedFile(line.command, argument.nameGiven ? argument.name : QString::fromLatin1(file.name));
    file.name = listed.name;

    const QString name = shownName(file.name);
    context.output.result() =
            withName({{QStringLiteral("file"), file.localPath}}, file.name);
    ProgressMeter meter(name, session.showsProgress());
    const OwnedReply reply = session.answer(session.device().download(file.name, listed.size), QStringLiteral("verify %1").arg(name), &meter);
    const QByteArray received = reply->content();
    // A size that differs needs no reading; the local file is read only
    // when it can be as small as the receiver's copy.
    if (received.size() != file.size) {
        context.output.result().insert(QStringLiteral("identical"), false);
        throw CommandFailure(Failure::Mismatch, QStringLiteral("verify: %1 holds %2 bytes, the receiver's %3 holds %4")
                                                        .arg(file.localPath, QString::number(file.size), name,
                                                             QString::number(received.size())));
    }
    compareCopies(context, file, received);
}
