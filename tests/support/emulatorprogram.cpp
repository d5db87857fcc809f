#include "emulatorprogram.h"

#include <QtCore/QDeadlineTimer>

#include <algorithm>
#include <csignal>
#include <sys/types.h>

EmulatorProgram::EmulatorProgram(const QStringList &arguments)
{
    m_process.start(QStringLiteral(EMULATOR_PATH), arguments);
}

EmulatorProgram::~EmulatorProgram()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString EmulatorProgram::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine() && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 200)))
            && m_process.state() == QProcess::NotRunning)
            break;
    }
    return QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

QString EmulatorProgram::port()
{
    if (m_port.isEmpty())
        m_port = readLine();
    return m_port;
}

bool EmulatorProgram::stop(int signal)
{
    ::kill(pid_t(m_process.processId()), signal);
    return m_process.waitForFinished(10000);
}

QByteArray EmulatorProgram::errors()
{
    return m_errors += m_process.readAllStandardError();
}
