// mv and edit: a file of the receiver changed in place. The receiver has no
// rename and no partial write, so both are a download, an upload and a
// download that checks it, and each failure says what is left where.
#include "clisession.h"
#include "commands.h"
#include "console.h"
#include "devicenames.h"
#include "localfiles.h"
#include "namepattern.h"
#include "progressmeter.h"

#include "core/devicesession.h"
#include "core/transferformat.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QSaveFile>
#include <QtCore/QTemporaryDir>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace {

std::optional<ListingEntry> listed(const QVector<ListingEntry> &listing, const QByteArray &name)
{
    for (const ListingEntry &entry : listing) {
        if (entry.name == name)
            return entry;
    }
    return std::nullopt;
}

// Uploads content as name and downloads it again to compare. ExitDone, or
// the failure's status with whereabouts appended to its message.
int writeAndCheck(const CommandContext &context, const QByteArray &name, const QByteArray &content,
                  const QString &whereabouts)
{
    CliSession &session = context.session;
    const QString shown = shownName(name);
    {
        ProgressMeter meter(shown, session.showsProgress());
        const OwnedReply upload(session.device().upload(name, content));
        if (!session.await(upload.get(), &meter))
            return session.failure(upload.get(), QStringLiteral("%1: writing %2 (%3)").arg(context.line.command, shown, whereabouts));
    }
    ProgressMeter meter(shown + QStringLiteral(" (verify)"), session.showsProgress());
    const OwnedReply check(session.device().download(name));
    if (!session.await(check.get(), &meter))
        return session.failure(check.get(), QStringLiteral("%1: reading %2 back (%3)").arg(context.line.command, shown, whereabouts));
    if (check->content() != content) {
        return context.output.fail(Failure::Mismatch, QStringLiteral("%1: the receiver's %2 differs from what was sent (%3)")
                                                              .arg(context.line.command, shown, whereabouts));
    }
    return ExitDone;
}

// The editor the user chose: $VISUAL, else $EDITOR, else vi. On Unix it is
// given to the shell, as other programs do, so it may hold arguments and
// quotes ("code --wait", "emacsclient -t").
QStringList editorCommand(const QString &path)
{
    QString editor = QStringLiteral("vi");
    for (const char *variable : {"VISUAL", "EDITOR"}) {
        if (!qEnvironmentVariable(variable).trimmed().isEmpty()) {
            editor = qEnvironmentVariable(variable);
            break;
        }
    }
#ifdef Q_OS_UNIX
    return {QStringLiteral("/bin/sh"), QStringLiteral("-c"), editor + QStringLiteral(" \"$@\""), editor, path};
#else
    return QProcess::splitCommand(editor) << path;
#endif
}

} // namespace

namespace {

// As typed until the listing says which file OLD is: every document names
// both, however the command ends.
void startMvDocument(const CommandContext &context)
{
    context.output.result() = QJsonObject{{QStringLiteral("old"), DeviceNames::fromUser(context.line.arguments.at(0))},
                                          {QStringLiteral("new"), DeviceNames::fromUser(context.line.arguments.at(1))}};
}

// Every document says what became of the text, however the command ends.
void startEditDocument(const CommandContext &context)
{
    context.output.result() = QJsonObject{{QStringLiteral("name"), DeviceNames::fromUser(context.line.arguments.constFirst())},
                                          {QStringLiteral("existed"), QJsonValue()},
                                          {QStringLiteral("changed"), false}};
}

} // namespace

namespace {

// mv's last step, once NEW is in place and checked.
int removeOld(const CommandContext &context, const QByteArray &old, const QString &newName)
{
    CliSession &session = context.session;
    const OwnedReply removal(session.device().remove(old));
    if (!session.await(removal.get())) {
        // Only a refusal says the receiver kept OLD; after silence or a lost
        // line it may have removed it before the answer was lost.
        const QString left = removal->error() == DeviceReply::RefusedError
                                     ? QStringLiteral("both are on the receiver")
                                     : QStringLiteral("%1 may or may not still be there").arg(shownName(old));
        return session.failure(removal.get(), QStringLiteral("mv: removing %1 (%2 is in place and checked; %3)")
                                                .arg(shownName(old), newName, left));
    }
    context.output.addDone(QStringLiteral("removed %1").arg(deviceNameText(old)));
    return ExitDone;
}

} // namespace

int checkMv(const CommandContext &context)
{
    startMvDocument(context);
    int failed = ExitDone;
    if (!storableName(context.output, context.line.command, context.line.arguments.at(1), &failed))
        return failed;
    return ExitDone;
}

int runMv(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    startMvDocument(context);
    output.keepDoneList();
    int failed = ExitDone;
    const std::optional<QByteArray> target = storableName(output, line.command, line.arguments.at(1), &failed);
    if (!target)
        return failed;
    if (const int status = session.open())
        return status;
    const std::optional<ListingEntry> source = oneListedFile(context, line.arguments.at(0), &failed);
    if (!source)
        return failed;
    output.result().insert(QStringLiteral("old"), deviceNameText(source->name));
    const QString oldName = shownName(source->name);
    const QString newName = shownName(*target);
    if (source->name == *target)
        return output.fail(Failure::Usage, QStringLiteral("mv: %1 and %2 are the same name").arg(oldName, newName));
    const std::optional<QVector<ListingEntry>> listing = session.listing(QStringLiteral("mv"), &failed);
    if (!listing)
        return failed;
    if (listed(*listing, *target) && !line.force) {
        return output.fail(Failure::Exists, QStringLiteral("mv: the receiver already holds %1; --force replaces it")
                                                    .arg(newName));
    }

    const OwnedReply read(session.device().download(source->name));
    {
        ProgressMeter meter(oldName, session.showsProgress());
        if (!session.await(read.get(), &meter))
            return session.failure(read.get(), QStringLiteral("mv: reading %1 (nothing changed)").arg(oldName));
    }
    const QByteArray content = read->content();
    output.addDone(QStringLiteral("read %1").arg(deviceNameText(source->name)));
    // A new name needs room for a second copy until the first goes.
    if (!listed(*listing, *target)) {
        const OwnedReply memory(session.device().requestMemoryReport());
        if (!session.await(memory.get()))
            return session.failure(memory.get(), QStringLiteral("mv (nothing changed)"));
        if (!TransferFormat::fitsInFreeSpace(content.size(), memory->memory())) {
            return output.fail(Failure::Refused, QStringLiteral("mv: a second copy of %1 (%2 bytes) does not fit in the "
                                                                "receiver's %3 free bytes; nothing changed")
                                                         .arg(oldName)
                                                         .arg(content.size())
                                                         .arg(CatalogueFormat::freeBytes(memory->memory())));
        }
    }
    if (const int status = writeAndCheck(context, *target, content,
                                         QStringLiteral("%1 is untouched; %2 may be partial or wrong").arg(oldName, newName)))
        return status;
    output.addDone(QStringLiteral("wrote and checked %1").arg(QString::fromLatin1(*target)));

    if (const int status = removeOld(context, source->name, newName))
        return status;
    output.note(QStringLiteral("mv: %1 is now %2").arg(oldName, newName));
    return ExitDone;
}

int checkEdit(const CommandContext &context)
{
    // A pattern may stand for a file the receiver holds; only the listing
    // tells whether it must be a new name.
    startEditDocument(context);
    const QString &argument = context.line.arguments.constFirst();
    int failed = ExitDone;
    if (NamePattern::isPattern(DeviceNames::fromUser(argument)))
        return ExitDone;
    if (!storableName(context.output, context.line.command, argument, &failed))
        return failed;
    return ExitDone;
}

namespace {

struct EditTarget
{
    QByteArray name;
    bool existed = false;
    QByteArray original;
};

// The file NAME stands for and its content, or a new name.
std::optional<EditTarget> editTarget(const CommandContext &context, int *status)
{
    CliSession &session = context.session;
    const QString &argument = context.line.arguments.constFirst();
    EditTarget target;
    const std::optional<ListingEntry> held = oneListedFile(context, argument, status, false);
    if (*status)
        return std::nullopt;
    if (!held) {
        const std::optional<QByteArray> name = storableName(context.output, context.line.command, argument, status);
        if (!name)
            return std::nullopt;
        target.name = *name;
        return target;
    }
    target.name = held->name;
    target.existed = true;
    ProgressMeter meter(shownName(held->name), session.showsProgress());
    const OwnedReply read(session.device().download(held->name));
    if (!session.await(read.get(), &meter)) {
        *status = session.failure(read.get(), QStringLiteral("edit: reading %1").arg(shownName(held->name)));
        return std::nullopt;
    }
    target.original = read->content();
    return target;
}

// Runs the editor on path; ExitDone when it ended well, else the failure's
// status, the text kept in path.
int runEditor(const CommandContext &context, const QString &path)
{
    QStringList editor = editorCommand(path);
    const QString program = editor.takeFirst();
    const QString shownEditor = editor.value(2, program);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(program, editor);
    const bool ran = process.waitForStarted(-1) && process.waitForFinished(-1);
    const bool endedWell = ran && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    // Ctrl-C reaches the editor too: one that ends on it ends the command
    // as an interruption; one that takes it for its own (vi) and ends well
    // has used it.
    if (Console::interrupted() && (!endedWell || Console::terminated())) {
        const bool terminated = Console::terminated();
        return context.output.fail(terminated ? Failure::Terminated : Failure::Interrupted,
                                   QStringLiteral("edit: %1; nothing sent; the text is in %2")
                                           .arg(terminated ? QStringLiteral("terminated") : QStringLiteral("interrupted"), path));
    }
    Console::forgetInterrupt();
    if (endedWell)
        return ExitDone;
    return context.output.fail(Failure::LocalFile, QStringLiteral("edit: the editor %1 %2; nothing sent; the text is in %3")
                                                           .arg(shownEditor,
                                                                ran ? QStringLiteral("failed") : QStringLiteral("did not run"),
                                                                path));
}

// Uploads the edited text when it changed; ExitDone, or the failure's
// status, the text kept.
int putBack(const CommandContext &context, const EditTarget &target, const QString &path)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    const QString shown = shownName(target.name);
    QFile edited(path);
    if (!edited.open(QIODevice::ReadOnly))
        return output.fail(Failure::LocalFile, QStringLiteral("edit: cannot read %1 back: %2").arg(path, edited.errorString()));
    const QByteArray content = edited.readAll();
    if (content == target.original) {
        output.note(QStringLiteral("edit: %1 unchanged; nothing sent").arg(shown));
        return ExitDone;
    }
    output.result().insert(QStringLiteral("changed"), true);
    const QString kept = QStringLiteral("the edited text is kept in %1").arg(path);
    const OwnedReply memory(session.device().requestMemoryReport());
    if (!session.await(memory.get()))
        return session.failure(memory.get(), QStringLiteral("edit: %1").arg(kept));
    if (!target.existed && !TransferFormat::fitsInFreeSpace(content.size(), memory->memory())) {
        return output.fail(Failure::Refused, QStringLiteral("edit: %1 bytes do not fit in the receiver's %2 free bytes; %3")
                                                     .arg(content.size())
                                                     .arg(CatalogueFormat::freeBytes(memory->memory()))
                                                     .arg(kept));
    }
    if (const int status = writeAndCheck(context, target.name, content, kept))
        return status;
    output.note(QStringLiteral("edit: %1 written and verified").arg(shown));
    return ExitDone;
}

} // namespace

int runEdit(const CommandContext &context)
{
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    int failed = ExitDone;
    if (const int status = checkEdit(context))
        return status;
    if (const int status = session.open())
        return status;
    const std::optional<EditTarget> target = editTarget(context, &failed);
    if (!target)
        return failed;
    output.result().insert(QStringLiteral("name"), deviceNameText(target->name));
    output.result().insert(QStringLiteral("existed"), target->existed);

    // Under the file's own name, so the editor knows its type.
    QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("spiffs-edit-XXXXXX")));
    if (!folder.isValid())
        return output.fail(Failure::LocalFile, QStringLiteral("edit: cannot make a temporary folder: %1").arg(folder.errorString()));
    const QString path = folder.filePath(TransferFormat::localFileName(deviceNameText(target->name)));
    QSaveFile copy(path);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(target->original) != target->original.size() || !copy.commit())
        return output.fail(Failure::LocalFile, QStringLiteral("edit: cannot write %1: %2").arg(path, copy.errorString()));

    const int status = runEditor(context, path);
    const int result = status ? status : putBack(context, *target, path);
    // What was typed is never lost: a failure keeps the text where it says.
    folder.setAutoRemove(result == ExitDone);
    return result;
}
