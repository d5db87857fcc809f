// The window never waits for ever. Every exchange is watched for silence:
// each frame sent and each arrival starts the watch again, for as long as
// the exchange can need to say something (answerSilenceMs(): seconds, format
// two minutes). When the silence runs out the status bar says "ESP32: no
// answer", the operation ends as failed (a download leaves no local file),
// and what the receiver may still send of it is drained before the register
// empties, so no later request takes it for its answer. The silence already
// seen counts toward the drain's quiet spell, so the buttons are free again
// as the message shows. A memory request is not drained: until the next
// request goes out, a late answer is still taken as its answer.
#ifndef ANSWERWATCH_H
#define ANSWERWATCH_H

#include "link/replydispatch.h"

#include "core/replyremainder.h"

#include <QtCore/QString>

class MainWindowUi;

inline const QString NoAnswerText = QStringLiteral("ESP32: no answer");

// At Connect: the watch, a child of the window, and what it does when the
// silence runs out. It runs from the first request on.
void armAnswerWatch(MainWindowUi &ui, const ReplyTable &replyTable);

// Starts the watch again for the operation in the register, or stops it
// when the register is empty or the link closed.
void rewatchAnswer();

// What the operation in the register leaves on its way if it is cut now: the
// rest of a download or a listing once its size is in, or of unknown size.
ReplyRemainder cutRemainder(qint64 nowMs);

#endif // ANSWERWATCH_H
