#include "core/receiverline.h"

#include <QtCore/QFileInfo>

namespace ReceiverLine {

void applySettings(QSerialPort &port)
{
    port.setBaudRate(BaudRate, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

bool meansLineLost(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
           || error == QSerialPort::WriteError;
}

bool deviceGone(const QSerialPort &port)
{
#ifdef Q_OS_UNIX
    // As QSerialPort reads a name: a path as it is, else under /dev.
    const QString name = port.portName();
    if (name.isEmpty())
        return false;
    return !QFileInfo::exists(name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name);
#else
    Q_UNUSED(port);
    return false;
#endif
}

} // namespace ReceiverLine
