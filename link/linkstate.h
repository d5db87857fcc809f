// The one link to the device, shared by every operation. It outlives the
// window: the port is closed when the process ends, not when the window does.
#ifndef LINKSTATE_H
#define LINKSTATE_H

#include <QtCore/QByteArray>
#include <QtCore/QMetaObject>
#include <QtCore/QObject>
#include <QtCore/QSaveFile>
#include <QtCore/QString>
#include <QtSerialPort/QSerialPort>

// Lets whoever waits on the link (tests, benchmarks) sleep until a reply has
// left the operation register idle, instead of polling it.
class LinkNotifier : public QObject
{
    Q_OBJECT

signals:
    void exchangeEnded();
};

struct LinkState
{
    QSerialPort serialPort;
    // A download is written through a save file, so a target of the same name
    // is replaced only by a complete new file.
    QSaveFile transferFile;
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

    // Bindings of the open port to the reply handler; none while closed.
    QMetaObject::Connection readyReadBinding;
    QMetaObject::Connection errorBinding;

    LinkNotifier notifier;

    // Closes the port and returns every field to its start-up value.
    void reset();
};

LinkState &linkState();

#endif // LINKSTATE_H
