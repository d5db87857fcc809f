// mv and edit: a file of the receiver changed in place. The receiver has no
// rename and no partial write, so both are a download, an upload and a
// download that checks it, and each failure says what is left where.
#include "clisession.h"
#include "clitext.h"
#include "commands.h"
#include "console.h"
#include "devicenames.h"
#include "localfiles.h"
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
        DeviceReply *upload = session.device().upload(name, content);
        if (!session.await(upload, &meter))
            return session.failure(upload, QStringLiteral("%1: writing %2 (%3)").arg(context.line.command, shown, whereabouts));
    }
    ProgressMeter meter(shown + QStringLiteral(" (verify)"), session.showsProgress());
    DeviceReply *check = session.device().download(name);
    if (!session.await(check, &meter))
        return session.failure(check, QStringLiteral("%1: reading %2 back (%3)").arg(context.line.command, shown, whereabouts));
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

int runMv(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    int failed = ExitDone;
    const std::optional<QByteArray> target = storableName(output, line.command, line.arguments.at(1), &failed);
    if (!target)
        return failed;
    output.keepDoneList();
    if (const int status = session.open())
        return status;
    const std::optional<QVector<ListingEntry>> listing = session.listing(QStringLiteral("mv"), &failed);
    if (!listing)
        return failed;
    const std::optional<ListingEntry> source = listed(*listing, DeviceNames::bytesFromUser(line.arguments.at(0)));
    if (!source)
        return output.fail(Failure::NoSuchFile, QStringLiteral("mv: no such file: %1").arg(line.arguments.at(0)));
    const QString oldName = shownName(source->name);
    const QString newName = shownName(*target);
    if (source->name == *target)
        return output.fail(Failure::Usage, QStringLiteral("mv: %1 and %2 are the same name").arg(oldName, newName));
    if (listed(*listing, *target) && !line.force) {
        return output.fail(Failure::Exists, QStringLiteral("mv: the receiver already holds %1; --force replaces it")
                                                    .arg(newName));
    }
    output.result() = QJsonObject{{QStringLiteral("old"), deviceNameText(source->name)},
                                  {QStringLiteral("new"), QString::fromLatin1(*target)}};

    DeviceReply *read = session.device().download(source->name);
    {
        ProgressMeter meter(oldName, session.showsProgress());
        if (!session.await(read, &meter))
            return session.failure(read, QStringLiteral("mv: reading %1 (nothing changed)").arg(oldName));
    }
    const QByteArray content = read->content();
    output.addDone(QStringLiteral("read %1").arg(deviceNameText(source->name)));
    // A new name needs room for a second copy until the first goes.
    if (!listed(*listing, *target)) {
        DeviceReply *memory = session.device().requestMemoryReport();
        if (!session.await(memory))
            return session.failure(memory, QStringLiteral("mv (nothing changed)"));
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

    DeviceReply *removal = session.device().remove(source->name);
    if (!session.await(removal))
        return session.failure(removal, QStringLiteral("mv: removing %1 (%2 is in place and checked; both are on the "
                                                       "receiver)")
                                                .arg(oldName, newName));
    output.addDone(QStringLiteral("removed %1").arg(deviceNameText(source->name)));
    output.note(QStringLiteral("mv: %1 is now %2").arg(oldName, newName));
    return ExitDone;
}

int runEdit(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    CommandOutput &output = context.output;
    int failed = ExitDone;
    const std::optional<QByteArray> name = storableName(output, line.command, line.arguments.constFirst(), &failed);
    if (!name)
        return failed;
    const QString shown = shownName(*name);
    if (const int status = session.open())
        return status;
    const std::optional<QVector<ListingEntry>> listing = session.listing(QStringLiteral("edit"), &failed);
    if (!listing)
        return failed;

    QByteArray original;
    const bool existed = listed(*listing, *name).has_value();
    if (existed) {
        ProgressMeter meter(shown, session.showsProgress());
        DeviceReply *read = session.device().download(*name);
        if (!session.await(read, &meter))
            return session.failure(read, QStringLiteral("edit: reading %1").arg(shown));
        original = read->content();
    }

    // Under the file's own name, so the editor knows its type.
    QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("spiffs-edit-XXXXXX")));
    if (!folder.isValid())
        return output.fail(Failure::LocalFile, QStringLiteral("edit: cannot make a temporary folder: %1").arg(folder.errorString()));
    const QString path = folder.filePath(TransferFormat::localFileName(QString::fromLatin1(*name)));
    QSaveFile copy(path);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(original) != original.size() || !copy.commit())
        return output.fail(Failure::LocalFile, QStringLiteral("edit: cannot write %1: %2").arg(path, copy.errorString()));
    output.result() = QJsonObject{{QStringLiteral("name"), QString::fromLatin1(*name)}, {QStringLiteral("existed"), existed}};

    QStringList editor = editorCommand(path);
    const QString program = editor.takeFirst();
    const QString shownEditor = editor.value(2, program);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(program, editor);
    const bool ran = process.waitForStarted(-1) && process.waitForFinished(-1);
    if (!ran || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        folder.setAutoRemove(false);
        return output.fail(Failure::LocalFile, QStringLiteral("edit: the editor %1 %2; nothing sent; the text is in %3")
                                                       .arg(shownEditor,
                                                            ran ? QStringLiteral("failed") : QStringLiteral("did not run"),
                                                            path));
    }

    QFile edited(path);
    if (!edited.open(QIODevice::ReadOnly)) {
        folder.setAutoRemove(false);
        return output.fail(Failure::LocalFile, QStringLiteral("edit: cannot read %1 back: %2").arg(path, edited.errorString()));
    }
    const QByteArray content = edited.readAll();
    if (content == original) {
        output.result().insert(QStringLiteral("changed"), false);
        output.note(QStringLiteral("edit: %1 unchanged; nothing sent").arg(shown));
        return ExitDone;
    }
    output.result().insert(QStringLiteral("changed"), true);
    const QString kept = QStringLiteral("the edited text is kept in %1").arg(path);
    DeviceReply *memory = session.device().requestMemoryReport();
    if (!session.await(memory)) {
        folder.setAutoRemove(false);
        return session.failure(memory, QStringLiteral("edit: %1").arg(kept));
    }
    if (!existed && !TransferFormat::fitsInFreeSpace(content.size(), memory->memory())) {
        folder.setAutoRemove(false);
        return output.fail(Failure::Refused, QStringLiteral("edit: %1 bytes do not fit in the receiver's %2 free bytes; %3")
                                                     .arg(content.size())
                                                     .arg(CatalogueFormat::freeBytes(memory->memory()))
                                                     .arg(kept));
    }
    if (const int status = writeAndCheck(context, *name, content, kept)) {
        folder.setAutoRemove(false);
        return status;
    }
    output.note(QStringLiteral("edit: %1 written and verified").arg(shown));
    return ExitDone;
}
