// Serves a LineEngine (the DeviceEngine, or a ReplayEngine) on the master
// side of a pseudo-terminal; the program opens the slave path as its serial
// port. Answers go out when the engine says they are due, to the
// microsecond, as a device's UART sends them.
//
// The host holds the slave open itself, so the line stays up while the
// program closes and opens its port; when its last client goes, however it
// went, the line is free for the next (the exclusive-use flag a killed
// client leaves is cleared). hangUp() closes the line: to the
// program, the device has been unplugged. plugIn() opens a fresh
// pseudo-terminal on the same engine and store. An engine that watches for
// opens (LineEngine::watchesOpens()) is told of every open of the slave; an
// engine that sends without a reader (LineEngine::sendsWithoutReader())
// loses what falls due while no client holds the line.
//
// Runs on the event loop of its thread. To give it a thread of its own:
// construct it, moveToThread(), then call start() there
// (QMetaObject::invokeMethod with Qt::BlockingQueuedConnection). portName()
// may be read from any thread; everything else belongs to the host's thread.
#ifndef EMULATORHOST_H
#define EMULATORHOST_H

#include "deviceengine.h"
#include "engineoptions.h"
#include "lineengine.h"

#include <QtCore/QByteArray>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QMutex>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QTimer>

#include <memory>

class QSocketNotifier;

class EmulatorHost : public QObject
{
    Q_OBJECT

public:
    explicit EmulatorHost(const EngineOptions &options = EngineOptions(), QObject *parent = nullptr);
    // Serves another engine in place of the receiver's (engine() is then idle).
    explicit EmulatorHost(std::unique_ptr<LineEngine> served, QObject *parent = nullptr);
    ~EmulatorHost() override;

    // Checks the engine's store and opens the first pseudo-terminal.
    Q_INVOKABLE bool start();
    QString errorString() const;

    // The slave's path, the program's port name; empty while unplugged.
    QString portName() const;
    bool isLineUp() const { return m_master >= 0; }

    DeviceEngine &engine() { return m_engine; }
    LineEngine &served() { return *m_served; }
    // Microseconds since the host was made: the engine's clock.
    qint64 nowUs() const;

public slots:
    // Closes the line (master and slave): the device is unplugged.
    void hangUp();
    // After a hang-up: a new pseudo-terminal, reported by pluggedIn().
    bool plugIn();

signals:
    void pluggedIn(const QString &portName);
    void lineHungUp();
    void opened(const QString &path); // a file opened by "X"
    void logLine(const QString &line);

private:
    bool openLine();
    void closeLine();
    void onReadable();
    void onWritable();
    void pump();
    void flushWrites();
    void wakeAt(qint64 dueUs);
    void onWake();
    void takeOpens();
    void hangUpWhenTaken(int lineNumber, QDeadlineTimer deadline);

    DeviceEngine m_engine;
    std::unique_ptr<LineEngine> m_other;
    LineEngine *m_served = &m_engine;
    qint64 m_startNs = 0; // CLOCK_MONOTONIC when the host was made
    QTimer m_dueTimer;    // for what is due at once: other events get their turn first
    int m_wakeFd = -1;    // a timerfd for what is due later
    QSocketNotifier *m_wakeNotifier = nullptr;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    int m_opensFd = -1; // inotify on the slave's path: opens and closes; -1 if it could not be had
    int m_clients = 0;  // opens of the slave's path not yet closed
    QSocketNotifier *m_opensNotifier = nullptr;
    int m_master = -1;
    int m_slave = -1;
    int m_lineNumber = 0; // counts the lines opened
    bool m_hangingUp = false;
    QByteArray m_unwritten; // taken from the engine, not yet all taken by the line
    int m_written = 0;      // how much of it the line has taken
    int m_openedReported = 0;
    QString m_error;
    mutable QMutex m_nameLock;
    QString m_portName;
};

#endif // EMULATORHOST_H
