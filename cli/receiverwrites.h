// Every change spiffs-cli makes to the receiver's files goes through here:
// the room checked before anything is sent, each upload (read back and
// compared when asked for), each removal, and a job's closing listing.
// put, mv, edit, rm, restore and sync call it. A failure is thrown with the
// caller's words for it, which say what is left where.
#ifndef RECEIVERWRITES_H
#define RECEIVERWRITES_H

#include "clisession.h"

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

// The room uploads (name and size, in their order) need on the receiver as
// it holds now, once removals are gone: the flash's pages, as FlashRoom
// counts them for every command that writes.
FlashRoom::Room roomFor(const CliSession::Holdings &holdings, const QVector<QByteArray> &removals,
                        const QVector<QPair<QByteArray, qint64>> &uploads);
// "the backup needs up to 4608 bytes of the receiver's room, which has 4096
// free", and what removals made with freedBy (an option) free.
QString roomText(const FlashRoom::Room &room, const QString &whatNeeds, const QString &freedBy = QString());
// Throws refusal (made with roomText()) when room does not fit.
void checkRoom(const FlashRoom::Room &room, const QString &refusal);

// Uploads content as name, on a progress line; subject names a failure:
// "put up.txt".
void upload(CliSession &session, const QByteArray &name, const QByteArray &content, const QString &subject);

// Downloads name again and compares it with content; subject names a
// failed download, differs is the whole message when the copy differs.
void readBack(CliSession &session, const QByteArray &name, const QByteArray &content, const QString &subject,
              const QString &differs);

// Both, for a file changed in place (mv, edit): what each step says when
// it fails, with what is left where.
struct Subjects
{
    QString upload;   // "mv: writing b.txt (a.txt is untouched; ...)"
    QString readBack; // "mv: reading b.txt back (...)"
    QString differs;  // "mv: the receiver's b.txt differs from what was sent (...)"
};
void writeAndReadBack(CliSession &session, const QByteArray &name, const QByteArray &content, const Subjects &subjects);

// Removes name; subject, made from the failed reply, says what is left.
void removeFile(CliSession &session, const QByteArray &name, const std::function<QString(const DeviceReply &)> &subject);
void removeFile(CliSession &session, const QByteArray &name, const QString &subject);

// A job's changes: removals first, then uploads in their order, then one
// listing that must show every expected name at its size and none of the
// removed ones; each step goes into report.
void carryOut(const CommandContext &context, JobReport &report, const QVector<QByteArray> &removals,
              const QVector<PlannedUpload> &uploads, const QVector<CatalogueFormat::ListingEntry> &expected);

} // namespace ReceiverWrites

#endif // RECEIVERWRITES_H
