// What the whole-receiver jobs (backup, restore, sync) decide before they
// send anything: where a backup keeps each file, which local files sync can
// send, and how long it takes on the line (the room they need is the
// core's: flashroom.h).
// Qt Core only.
#ifndef JOBPLAN_H
#define JOBPLAN_H

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <optional>

namespace JobPlan {

// Inside the backup folder: downloads land here until every one is in.
inline constexpr char StagingFolder[] = ".spiffs-backup-incoming";

// The local path, relative to the backup folder, of each device name (in
// the same order). Each "/"-separated part is made safe as the window's
// local names are. Two names never share a path, even on a file system
// that ignores case: the later one in byte order gets "~2" (then "~3", ...)
// before its type. A name whose folder would be another name's file is kept
// flat, its "/" written "-". MANIFEST and the staging folder are never used,
// nor the paths in takenFiles (what DIR holds that must stay: no file goes
// there, no folder either) and takenFolders (folders DIR holds: no file goes
// there), both case-folded.
QVector<QString> backupPaths(const QVector<QByteArray> &names, const QSet<QString> &takenFiles = QSet<QString>(),
                             const QSet<QString> &takenFolders = QSet<QString>());

// Bytes on the line, both ways, for each kind of step, and their time at
// 115200 baud, 10 bits a byte.
qint64 downloadWireBytes(const QByteArray &name, qint64 size);
qint64 uploadWireBytes(const QByteArray &name, qint64 size);
qint64 removeWireBytes(const QByteArray &name);
double wireSeconds(qint64 bytes);

// Why name, a path relative to sync's folder, cannot be a receiver's name
// as put would send it; empty when it can.
QString unstorableReason(const QString &name);

// Why a file the receiver lists under name could not be given back to it
// by restore, which sends names exactly as they were; empty when it can.
// Backup and restore both ask here.
QString unrestorableReason(const QByteArray &name);

struct LocalFile
{
    QString path; // as found
    QString name; // relative to the folder, "/" between parts
    qint64 size = 0;
    QString deviceName; // the receiver's name for it: the device folder, then name
};
struct Skipped
{
    QString name;
    QString reason;
    // The receiver's name the file would have had, when one can be told,
    // ending in "/" for a folder: sync --delete keeps a receiver's file of
    // that name, or under that folder.
    QString deviceName = QString();
};
struct LocalTree
{
    QVector<LocalFile> files; // by name
    QVector<Skipped> skipped;
};
// The regular files under folder and what is skipped, with reasons. Hidden
// files and folders (a name starting with ".") are not looked at, nor is
// MANIFEST at the top. Links to folders are not followed, and a link to a
// file outside folder is skipped: sync reads nothing outside it. Each file
// goes to the receiver under deviceFolder ("presets/", or empty for the
// top), each part of its name cleaned as put cleans a file's name ("a b.txt"
// is "ab.txt"), and is skipped when the whole name is still not one a
// receiver takes. A name this program cannot open (not UTF-8) is skipped
// and said. Two files may come to one name: the caller refuses that.
LocalTree scanFolder(const QString &folder, const QString &deviceFolder = QString());

} // namespace JobPlan

#endif // JOBPLAN_H
