// The program's end of a pseudo-terminal, opened raw as a serial port is,
// for tests that talk to the emulator without the program. Waiting runs the
// event loop, so a host on the test's own thread keeps serving.
#ifndef SLAVELINE_H
#define SLAVELINE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

class SlaveLine
{
public:
    explicit SlaveLine(const QString &path);
    ~SlaveLine();
    SlaveLine(const SlaveLine &) = delete;
    SlaveLine &operator=(const SlaveLine &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool hungUp() const { return m_hungUp; }

    // Writes all of bytes; false if the line would not take them in time.
    bool write(const QByteArray &bytes, int timeoutMs = 10000);
    // Reads until count bytes are in, the line hangs up, or time runs out.
    QByteArray read(int count, int timeoutMs = 20000);

private:
    int m_fd = -1;
    bool m_hungUp = false;
};

#endif // SLAVELINE_H
