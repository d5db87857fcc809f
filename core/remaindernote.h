// The rest of a cut reply, left for whichever program opens the port next:
// spiffs-cli ends with the receiver still sending (Ctrl-C, a reader that
// went away, a time-out), and the next run, or the window, must not read
// those bytes as its own answer. One small file per port in the user's
// runtime folder, written whole or not at all, taken (read and removed) by
// the next opening.
//
// A note names the device file it was left for by its change time: a
// receiver unplugged and plugged in again has restarted and sends nothing
// more, and its port is a new device file, so the note does not apply.
// Qt Core only.
#ifndef REMAINDERNOTE_H
#define REMAINDERNOTE_H

#include "core/replyremainder.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <optional>

namespace RemainderNote {

// $XDG_RUNTIME_DIR/spiffs-manager, else a folder of the user's own (mode
// 0700) in the temporary folder; made when missing. Empty when neither can
// be used safely: then no note is left.
QString defaultFolder();

// What identifies the device file behind portName: its change time in
// milliseconds, -1 when there is none.
qint64 deviceStamp(const QString &portName);

QByteArray encode(const QString &portName, qint64 stamp, const ReplyRemainder &remainder);
// Nothing from a note that is not one (hand-edited, cut short, another
// port's, a size no receiver sends).
std::optional<ReplyRemainder> decode(const QByteArray &text, const QString &portName, qint64 stamp);

// Leaves remainder for the next opening of portName, replacing an earlier
// note. False when it could not be written.
bool leave(const QString &portName, const ReplyRemainder &remainder, const QString &folder = defaultFolder());

// The note left for portName, removed as it is read. Nothing when there is
// none, when its time has passed (or lies ahead: a clock set back), or when
// it was left for another device file.
std::optional<ReplyRemainder> take(const QString &portName, qint64 nowMs, const QString &folder = defaultFolder());

} // namespace RemainderNote

#endif // REMAINDERNOTE_H
