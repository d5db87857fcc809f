// How spiffs-cli changes the receiver's files: one call per intent, each of
// which checks the room before anything is sent, sends, reads back where
// it says so, and throws a failure in the caller's words that says what is
// left where. A command says what it wants (its plan) and what came of it
// (its report); how it is done is here.
//
//   store()    put: these files, each under its name
//   replace()  mv, edit: this one file, written anew beside the old
//   change()   restore, sync: removals and uploads as a whole, then one
//              listing that checks them
//   remove()   rm, mv's last step: this one file
//   erase()    format: every file
#ifndef RECEIVERWRITES_H
#define RECEIVERWRITES_H

#include "cli/session/clisession.h"

#include "core/catalogueformat.h"
#include "core/flashroom.h"

#include <QtCore/QByteArray>
#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <functional>

class DeviceReply;
struct JobReport;

struct PlannedUpload
{
    QByteArray name;
    QByteArray content;
};

namespace ReceiverWrites {

// A file for store(): its name on the receiver, its size as measured, the
// local file it comes from as the user named it, and how to read it (just
// before it is sent, so one file at a time is held).
struct FileToStore
{
    QByteArray name;
    qint64 size = 0;
    QString source;
    std::function<QByteArray()> read;
};
// What a command reports of each file as store() finishes with it.
struct StoreSteps
{
    std::function<void(const FileToStore &)> sent;
    std::function<void(const FileToStore &)> verified; // with verify only
};
// Every file planned before the first is sent (all must fit, each counted
// against the file of its name it replaces), then each read, sent and,
// with verify, read back and compared.
void store(const CommandContext &context, const QVector<FileToStore> &files, bool verify, const StoreSteps &steps);

// What each step of a changed file says when it fails, with what is left
// where.
struct Subjects
{
    QString upload;   // "mv: writing b.txt (a.txt is untouched; ...)"
    QString readBack; // "mv: reading b.txt back (...)"
    QString differs;  // "mv: the receiver's b.txt differs from what was sent (...)"
};
// One file written anew under name (mv's new name, edit's text), while the
// old copy may still be there.
struct Replacement
{
    QByteArray name;
    QByteArray content;
    QString memorySubject; // names a failed memory report: "mv (nothing changed)"
    QString needs;         // "a second copy of a.txt (5 bytes) needs"
    QString whereabouts;   // ends a refusal for want of room: "nothing changed"
    Subjects subjects;
};
void replace(const CommandContext &context, const Replacement &replacement);

// The room uploads (name and size, in their order) need on the receiver as
// it holds now, once removals are gone: the flash's pages, as FlashRoom
// counts them for every command that writes.
FlashRoom::Room roomFor(const CliSession::Holdings &holdings, const QVector<QByteArray> &removals,
                        const QVector<QPair<QByteArray, qint64>> &uploads);
// "the backup needs up to 4608 bytes of the receiver's room, which has 4096
// free", and what removals made with freedBy (an option) free.
QString roomText(const FlashRoom::Room &room, const QString &whatNeeds, const QString &freedBy = QString());

// A job's changes to the receiver as a whole: the room, the removals
// confirmed (which says what they are), then removals first, the uploads in
// their order, and one listing that must show every expected name at its
// size and none of the removed ones; each step goes into report.
struct JobChanges
{
    QVector<QByteArray> removals;
    QVector<QPair<QByteArray, qint64>> uploads; // name and size, for the room
    QVector<CatalogueFormat::ListingEntry> expected;
    QString needs;    // "the backup needs"
    QString freedBy;  // "--clean"
    QString which;    // "from the receiver that the backup lacks"
};
// read() gives the uploads' contents once the removals are confirmed, every
// file read before the receiver is changed.
void change(const CommandContext &context, JobReport &report, const CliSession::Holdings &holdings,
            const JobChanges &changes, const std::function<QVector<PlannedUpload>()> &read);

// Removes name; subject, made from the failed reply, says what is left.
void remove(CliSession &session, const QByteArray &name, const std::function<QString(const DeviceReply &)> &subject);
void remove(CliSession &session, const QByteArray &name, const QString &subject);

// Erases every file, waiting as long as a whole flash takes.
void erase(CliSession &session);

} // namespace ReceiverWrites

#endif // RECEIVERWRITES_H
