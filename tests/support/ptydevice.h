// The device end of a pseudo-terminal: the program opens the slave with a
// real QSerialPort, the test reads and writes the master.
#ifndef PTYDEVICE_H
#define PTYDEVICE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

class PtyDevice
{
public:
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString portName() const { return m_portName; }

    // Everything the program has written so far, without waiting.
    QByteArray readAvailable();
    // Waits (running the event loop) until the program has written count
    // bytes, and returns them; fewer when the time runs out.
    QByteArray readExactly(int count, int timeoutMs = 3000);
    // Reads as many bytes as expected holds, to compare them with it.
    QByteArray readSizeOf(const QByteArray &expected) { return readExactly(expected.size()); }
    // True when nothing more arrives within quietMs.
    bool staysQuiet(int quietMs = 100);

    // Sends bytes and waits until the program has taken them in, so each
    // call reaches the program as its own arrival.
    void deliver(const QByteArray &bytes);
    // Sends bytes without waiting.
    void send(const QByteArray &bytes);
    // Waits until the program has read everything sent so far.
    bool waitUntilTaken(int timeoutMs = 3000);

    // Closes the master: to the program, the device has been unplugged.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1; // held open so the line stays up between the program's opens
    QString m_portName;
    QByteArray m_pending;
};

#endif // PTYDEVICE_H
