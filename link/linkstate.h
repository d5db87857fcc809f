// The one link to the device, shared by every operation. It outlives the
// window: the port is closed when the process ends, not when the window does.
#ifndef LINKSTATE_H
#define LINKSTATE_H

#include "core/exchange.h"
#include "core/linesettler.h"
#include "core/replyremainder.h"
#include "core/tracewriter.h"

#include <QtCore/QByteArray>
#include <QtCore/QFile>
#include <QtCore/QMetaObject>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QTimer>
#include <QtSerialPort/QSerialPort>

#include <memory>
#include <optional>

// Lets whoever waits on the link (tests, benchmarks) sleep until a reply has
// left the operation register idle, instead of polling it.
class LinkNotifier : public QObject
{
    Q_OBJECT

signals:
    void exchangeEnded();
    // The line has settled after Connect (the memory request follows at
    // once), or after an unanswered exchange, and the reply handler is bound
    // to the port again.
    void replyHandlerBound();
    // A frame has gone to the receiver; an arrival has been handled by its
    // branch. The answer watch starts again on each.
    void frameSent();
    void arrivalHandled();
};

struct LinkState
{
    QSerialPort serialPort;
    // The local file a download fills; only its name is kept here, and the
    // file is written once, whole (LocalSave).
    QFile transferFile;
    QByteArray rxBuffer;
    QString currentOperation;
    QByteArray uploadBuffer;

    bool portOpen = false;
    quint32 totalBytes = 0;
    quint32 usedBytes = 0;
    qint32 listLength = 0;
    qint64 transferSize = 0;
    qint64 uploadRemaining = 0;
    // Next byte of uploadBuffer to send; chunks are never cut off its front.
    qint64 uploadOffset = 0;
    // The end frame has gone: the device's next "u" means it has every byte.
    bool uploadEndSent = false;
    // The file a download is reading, named in what its cut reply leaves,
    // and its size in the listing: cut before the device's size came, the
    // reply still has that much and the size to send.
    QByteArray downloadName;
    qint64 downloadListedSize = -1;
    // A memory request met silence and nothing has been sent since: the
    // next bytes are its answer, late.
    bool memoryAnswerAwaited = false;

    // The rest of a download or listing a Disconnect cut short, still on its
    // way from the receiver; the next Connect to that port waits it out.
    std::optional<ReplyRemainder> remainder;
    QString remainderPort;

    // The silence after which an exchange counts as unanswered: format's,
    // and every other's (answerSilenceMs()).
    int answerLimitMs = AnswerSilenceMs;
    int formatLimitMs = FormatSilenceMs;

    // Bindings of the open port to the reply handler; none while closed, and
    // none while the line settles after Connect.
    QMetaObject::Connection readyReadBinding;
    QMetaObject::Connection errorBinding;

    // Made at Connect as children of the window, so they go with it: the
    // settling line's reader, and the watch on every exchange for silence.
    QPointer<LineSettler> settler;
    QPointer<QTimer> answerWatch;

    // SPIFFS_TRACE: the file and the writer following serialPort.
    QFile traceFile;
    std::unique_ptr<TraceWriter> trace;

    LinkNotifier notifier;

    // Closes the port and the trace and returns every field to its start-up
    // value.
    void reset();
};

LinkState &linkState();

#endif // LINKSTATE_H
