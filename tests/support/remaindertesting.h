// What the tests of a cut reply share: a remainder cut some time ago, and
// a receiver at 115200 baud that pauses inside its replies as the real one
// has been seen to, for the emulator in-process and as a program.
#ifndef REMAINDERTESTING_H
#define REMAINDERTESTING_H

#include "engineoptions.h"

#include "core/replyremainder.h"

#include <QtCore/QDateTime>
#include <QtCore/QStringList>

namespace RemainderTesting {

inline constexpr int PauseMs = 300; // the longest pause seen inside a reply

inline qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

inline ReplyRemainder rest(qint64 due, qint64 cutAgoMs, Exchange exchange = Exchange::Download)
{
    return ReplyRemainder{exchange == Exchange::Download ? QByteArray("big.mp3") : QByteArray(), exchange, due,
                          now() - cutAgoMs};
}

inline QStringList pausedReceiver()
{
    return {"--baud", "115200", "--split", "2000", "--gap-ms", QString::number(PauseMs)};
}

inline EngineOptions pausedOptions()
{
    EngineOptions options;
    options.baud = 115200;
    options.splitBytes = 2000;
    options.gapMs = PauseMs;
    return options;
}

} // namespace RemainderTesting

#endif // REMAINDERTESTING_H
