// The rest of a cut reply, left for whichever program opens the port next:
// spiffs-cli ends with the receiver still sending (Ctrl-C, a reader that
// went away, a time-out), and the next run, or the window, must not read
// those bytes as its own answer. One small file per port, in a folder of
// the user's own that both programs share, written whole or not at all,
// taken (read and removed) by the next opening.
//
// A note names the device file it was left for by its change time: a
// receiver unplugged and plugged in again has restarted and sends nothing
// more, and its port is a new device file, so the note does not apply.
// Windows keeps no such time for a COM port: there a note applies until its
// time has passed, and after a replug the wait ends at the first quiet
// second. Qt Core only.
#ifndef REMAINDERNOTE_H
#define REMAINDERNOTE_H

#include "core/portopening.h"
#include "core/replyremainder.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <functional>
#include <optional>

namespace RemainderNote {

// $XDG_RUNTIME_DIR/spiffs-manager, else spiffs-manager in the user's cache
// folder (~/.cache on Linux, ~/Library/Caches on macOS), made with mode 0700
// when missing and used only when it is the user's own and no one else's;
// on Windows spiffs-manager in the user's local application data. Empty
// when none can be used safely: then no note is left.
QString defaultFolder();

// The one name of the port behind portName, whatever path led to it:
// "/dev/ttyUSB0" for "ttyUSB0", "/dev/ttyUSB0" or a /dev/serial/by-id/ link
// to it; "COM3" for "COM3" or "\\.\COM3". Notes are filed under it.
QString portKey(const QString &portName);

// The same two rules for any desktop, from what it reports, so that every
// host can check each: the folder from the runtime folder, the user's cache
// folder and local application data, each as it may be used (empty when
// not); the key with resolve, which gives the device file a path leads to
// (empty when there is none).
QString folderFor(PortOpening::Desktop desktop, const QString &runtime, const QString &cache, const QString &localData);
QString keyFor(const QString &portName, PortOpening::Desktop desktop,
               const std::function<QString(const QString &)> &resolve);

// What identifies the device file behind portName: its change time in
// milliseconds, -1 when there is none.
qint64 deviceStamp(const QString &portName);

QByteArray encode(const QString &portName, qint64 stamp, const ReplyRemainder &remainder);
// Nothing from a note that is not one (hand-edited, cut short, another
// port's, a size no receiver sends).
std::optional<ReplyRemainder> decode(const QByteArray &text, const QString &portName, qint64 stamp);

// Leaves remainder for the next opening of portName, replacing an earlier
// note. Empty when it was left; else why not, in words to follow a colon.
QString leave(const QString &portName, const ReplyRemainder &remainder, const QString &folder = defaultFolder());

// The note left for portName, removed as it is read. Nothing when there is
// none, when its time has passed (or lies ahead: a clock set back), when it
// was left for another device file, or when what lies there is not a
// regular file of its own (a link, a pipe): such a thing is never opened,
// so reading cannot block or lead elsewhere.
std::optional<ReplyRemainder> take(const QString &portName, qint64 nowMs, const QString &folder = defaultFolder());

} // namespace RemainderNote

#endif // REMAINDERNOTE_H
