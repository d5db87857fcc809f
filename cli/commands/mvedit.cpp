// mv and edit: a file of the receiver changed in place. The receiver has no
// rename and no partial write, so both are a download, an upload and a
// download that checks it, and each failure says what is left where.
#include "cli/session/clisession.h"
#include "cli/commands/commands.h"
#include "cli/output/console.h"
#include "cli/names/devicenames.h"
#include "cli/commands/editorlaunch.h"
#include "cli/names/localfiles.h"
#include "cli/names/namepattern.h"
#include "cli/output/progressmeter.h"
#include "cli/jobs/receiverwrites.h"

#include "core/devicesession.h"
#include "core/localsave.h"
#include "core/transferformat.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
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

// mv's and edit's words for what a failure of each step leaves where.
ReceiverWrites::Subjects writeSubjects(const CommandContext &context, const QByteArray &name, const QString &whereabouts)
{
    const QString &command = context.line.command;
    const QString shown = shownName(name);
    return {QStringLiteral("%1: writing %2 (%3)").arg(command, shown, whereabouts),
            QStringLiteral("%1: reading %2 back (%3)").arg(command, shown, whereabouts),
            QStringLiteral("%1: the receiver's %2 differs from what was sent (%3)").arg(command, shown, whereabouts)};
}

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

// mv's last step, once NEW is in place and checked.
void removeOld(const CommandContext &context, const QByteArray &old, const QString &newName)
{
    ReceiverWrites::remove(context.session, old, [&](const DeviceReply &removal) {
        // Only a refusal says the receiver kept OLD; after silence or a lost
        // line it may have removed it before the answer was lost.
        const QString left = removal.error() == DeviceReply::RefusedError
                                     ? QStringLiteral("both are on the receiver")
                                     : QStringLiteral("%1 may or may not still be there").arg(shownName(old));
        return QStringLiteral("mv: removing %1 (%2 is in place and checked; %3)").arg(shownName(old), newName, left);
    });
    context.output.addDone(QStringLiteral("removed %1").arg(shownName(old)));
}

} // namespace

void checkMv(const CommandContext &context)
{
    startMvDocument(context);
    storableName(context.line.command, context.line.arguments.at(1));
}

void runMv(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    startMvDocument(context);
    output.keepDoneList();
    const QByteArray target = storableName(line.command, line.arguments.at(1));
    const ListingEntry source = session.oneListedFile(line.command, line.arguments.at(0));
    output.result() = withName(output.result(), source.name, QStringLiteral("old"));
    const QString oldName = shownName(source.name);
    const QString newName = shownName(target);
    if (source.name == target)
        throw CommandFailure(Failure::Usage, QStringLiteral("mv: %1 and %2 are the same name").arg(oldName, newName));
    const bool replacing = listed(session.listing(line.command), target).has_value();
    if (replacing && !line.force)
        throw CommandFailure(Failure::Exists, QStringLiteral("mv: the receiver already holds %1; --force replaces it").arg(newName));

    QByteArray content;
    {
        ProgressMeter meter(oldName, session.showsProgress());
        content = session.answer(session.device().download(source.name, source.size),
                                 QStringLiteral("mv: reading %1 (nothing changed)").arg(oldName), &meter)
                          ->content();
    }
    output.addDone(QStringLiteral("read %1").arg(shownName(source.name)));
    ReceiverWrites::replace(context, {target, content, QStringLiteral("mv (nothing changed)"),
                                      QStringLiteral("a second copy of %1 (%2 bytes) needs").arg(oldName, QString::number(content.size())),
                                      QStringLiteral("nothing changed"),
                                      writeSubjects(context, target,
                                                    QStringLiteral("%1 is untouched; %2 may be partial or wrong").arg(oldName, newName))});
    output.addDone(QStringLiteral("wrote and checked %1").arg(QString::fromLatin1(target)));
    removeOld(context, source.name, newName);
    output.note(QStringLiteral("mv: %1 is now %2").arg(oldName, newName));
}

void checkEdit(const CommandContext &context)
{
    // A pattern may stand for a file the receiver holds; only the listing
    // tells whether it must be a new name.
    startEditDocument(context);
    const QString &argument = context.line.arguments.constFirst();
    if (!NamePattern::isPattern(DeviceNames::fromUser(argument)))
        storableName(context.line.command, argument);
}

namespace {

struct EditTarget
{
    QByteArray name;
    bool existed = false;
    QByteArray original;
};

// The file NAME stands for and its content, or a new name.
EditTarget editTarget(const CommandContext &context)
{
    CliSession &session = context.session;
    const QString &argument = context.line.arguments.constFirst();
    const std::optional<ListingEntry> held = session.oneListedFileIfAny(context.line.command, argument);
    // A pattern that matches nothing is most often a typo: a new file
    // comes only from a plain name.
    if (!held && NamePattern::isPattern(DeviceNames::fromUser(argument))) {
        throw CommandFailure(Failure::NoSuchFile, QStringLiteral("edit: no file matches %1; a new file takes a name "
                                                                 "without * ? or [").arg(argument));
    }
    if (!held)
        return EditTarget{storableName(context.line.command, argument), false, QByteArray()};
    ProgressMeter meter(shownName(held->name), session.showsProgress());
    const OwnedReply read = session.answer(session.device().download(held->name, held->size),
                                           QStringLiteral("edit: reading %1").arg(shownName(held->name)), &meter);
    return EditTarget{held->name, true, read->content()};
}

// Runs the editor on path; throws when it did not end well, the text kept
// in path.
void runEditor(const QString &path)
{
    const EditorLaunch editor = editorLaunch(chosenEditor(), path);
    const QString &shownEditor = editor.shown;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setProgram(editor.program);
    process.setArguments(editor.arguments);
#ifdef Q_OS_WIN
    process.setNativeArguments(editor.nativeArguments);
#endif
    process.start();
    const bool ran = process.waitForStarted(-1) && process.waitForFinished(-1);
    const bool endedWell = ran && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    // Ctrl-C reaches the editor too: one that ends on it ends the command
    // as an interruption; one that takes it for its own (vi) and ends well
    // has used it.
    if (Console::interrupted() && (!endedWell || Console::terminated())) {
        CommandFailure failure = CliSession::interruption();
        failure.messages = QStringList{QStringLiteral("edit: %1; nothing sent; the text is in %2").arg(failure.messages.constFirst(), path)};
        throw failure;
    }
    Console::forgetInterrupt();
    if (!endedWell) {
        throw CommandFailure(Failure::LocalFile, QStringLiteral("edit: the editor %1 %2; nothing sent; the text is in %3")
                                                         .arg(shownEditor,
                                                              ran ? QStringLiteral("failed") : QStringLiteral("did not run"),
                                                              path));
    }
}

// Uploads the edited text when it changed; throws when that fails, the text
// kept.
void putBack(const CommandContext &context, const EditTarget &target, const QString &path)
{
    CommandOutput &output = context.output;
    const QString shown = shownName(target.name);
    QFile edited(path);
    if (!edited.open(QIODevice::ReadOnly))
        throw CommandFailure(Failure::LocalFile, QStringLiteral("edit: cannot read %1 back: %2").arg(path, edited.errorString()));
    const QByteArray content = edited.readAll();
    if (content == target.original)
        return output.note(QStringLiteral("edit: %1 unchanged; nothing sent").arg(shown));
    output.result().insert(QStringLiteral("changed"), true);
    const QString kept = QStringLiteral("the edited text is kept in %1").arg(path);
    ReceiverWrites::replace(context, {target.name, content, QStringLiteral("edit: %1").arg(kept),
                                      QStringLiteral("%1 bytes need").arg(content.size()), kept,
                                      writeSubjects(context, target.name, kept)});
    output.note(QStringLiteral("edit: %1 written and verified").arg(shown));
}

// The text to edit under the file's own name, so the editor knows its type.
QString writeEditedCopy(const QTemporaryDir &folder, const EditTarget &target)
{
    if (!folder.isValid())
        throw CommandFailure(Failure::LocalFile, QStringLiteral("edit: cannot make a temporary folder: %1").arg(folder.errorString()));
    const QString path = folder.filePath(TransferFormat::localFileName(deviceNameText(target.name)));
    if (const QString problem = LocalSave::replace(path, target.original); !problem.isEmpty())
        throw CommandFailure(Failure::LocalFile, QStringLiteral("edit: cannot write %1: %2").arg(path, problem));
    return path;
}

} // namespace

void runEdit(const CommandContext &context)
{
    checkEdit(context);
    const EditTarget target = editTarget(context);
    context.output.result() = withName(context.output.result(), target.name);
    context.output.result().insert(QStringLiteral("existed"), target.existed);

    QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("spiffs-edit-XXXXXX")));
    const QString path = writeEditedCopy(folder, target);
    try {
        runEditor(path);
        putBack(context, target, path);
    } catch (const CommandFailure &) {
        // What was typed is never lost: a failure keeps the text where it says.
        folder.setAutoRemove(false);
        throw;
    }
}
