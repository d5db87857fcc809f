// Ceilings measured on the same machine in the same run: a pseudo-terminal
// driven by plain blocking reads and writes, no Qt and no event loop. The
// program's side runs on the calling thread, the device's side on a thread
// of its own, on the device's CPU when pinning (affinity.h).
#ifndef BAREPTY_H
#define BAREPTY_H

#include <QtCore/QtGlobal>

namespace BarePty {

// Seconds for a writer on the master to pass byteCount bytes to a reader on
// the slave (the direction of a download), from the writer's first byte to
// the reader's last. Negative when the pseudo-terminal cannot be opened.
double transferSeconds(qint64 byteCount);

// Seconds for rounds of ping-pong: the slave side (the program's) writes a
// frame of frameBytes, the master side (the device's) reads all of it and
// answers answerBytes, which the slave side reads before the next round.
double pingPongSeconds(int rounds, int frameBytes, int answerBytes);

// The same ping-pong at the pace of a slow line: the device side answers
// each frame gapUs after reading it, so both sides sleep in between, as they
// do at 115200 baud. Returns the mean microseconds from the device's answer
// to its read of the next frame: the floor of what any program's answer
// takes on this machine when it wakes from idle.
double idleAnswerMicros(int rounds, int frameBytes, int answerBytes, qint64 gapUs);

} // namespace BarePty

#endif // BAREPTY_H
