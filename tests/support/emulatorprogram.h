// spiffs-emulator in a process of its own, as a user starts it: each line it
// prints on standard output is the path of a port it opened.
#ifndef EMULATORPROGRAM_H
#define EMULATORPROGRAM_H

#include <QtCore/QByteArray>
#include <QtCore/QProcess>
#include <QtCore/QString>
#include <QtCore/QStringList>

class EmulatorProgram
{
public:
    explicit EmulatorProgram(const QStringList &arguments = QStringList());
    // SIGTERM, then SIGKILL if it has not stopped within 5 s.
    ~EmulatorProgram();
    EmulatorProgram(const EmulatorProgram &) = delete;
    EmulatorProgram &operator=(const EmulatorProgram &) = delete;

    QProcess &process() { return m_process; }

    // The next line of standard output, without its end; empty when none
    // comes in time or the process has ended.
    QString readLine(int timeoutMs = 10000);
    // The first line, its port: read on the first call, which must come
    // before any readLine().
    QString port();

    // Sends signal and waits for the process to end.
    bool stop(int signal);
    // Everything it has written on standard error so far.
    QByteArray errors();

private:
    QProcess m_process;
    QString m_port;
    QByteArray m_errors;
};

#endif // EMULATORPROGRAM_H
