// Every local file either program writes (a download, a backup and its
// MANIFEST, a copy kept by mv or edit, a note for the next opening) is
// written here, so a full disk, a quota or a failing USB stick never turns
// a good file into an empty one.
//
// The content goes to a new temporary file beside the target; every write,
// the sync to the disk and the close are checked; only then is the
// temporary file renamed over the target. A rename replaces whatever is at
// the target's name, a link included, and never writes through it. On any
// failure the temporary file is removed and the target is as it was.
// Qt Core only.
#ifndef LOCALSAVE_H
#define LOCALSAVE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace LocalSave {

// Replaces path with content, whole or not at all. Empty when it was
// saved; else why not, in the system's words made to follow a colon ("no
// space left on device", "permission denied").
QString replace(const QString &path, const QByteArray &content);

// An error number of the system in those words.
QString systemErrorText(int error);
// A system's message ("No space left on device.") made into those words.
QString asReason(const QString &message);

} // namespace LocalSave

#endif // LOCALSAVE_H
