#include "link/linkstate.h"

namespace {
// Constructed before main() runs and destroyed after it returns; destroying
// the port closes it.
LinkState theLinkState;
}

LinkState &linkState()
{
    return theLinkState;
}

void LinkState::reset()
{
    QObject::disconnect(readyReadBinding);
    QObject::disconnect(errorBinding);
    delete settler.data();
    delete answerWatch.data();
    trace.reset();
    traceFile.close();
    if (serialPort.isOpen())
        serialPort.close();
    transferFile.setFileName(QString());
    rxBuffer.clear();
    currentOperation.clear();
    uploadBuffer.clear();
    portOpen = false;
    totalBytes = 0;
    usedBytes = 0;
    listLength = 0;
    transferSize = 0;
    uploadRemaining = 0;
    uploadOffset = 0;
    uploadEndSent = false;
    downloadName.clear();
    downloadListedSize = -1;
    memoryAnswerAwaited = false;
    remainder.reset();
    remainderPort.clear();
    answerLimitMs = AnswerSilenceMs;
    formatLimitMs = FormatSilenceMs;
}
