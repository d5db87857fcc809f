#include "core/receiverline.h"

#include "core/tracewriter.h"

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

QString systemLocation(const QString &portName)
{
#ifdef Q_OS_WIN
    if (portName.startsWith(QLatin1String("\\\\.\\")))
        return portName;
    return QStringLiteral("\\\\.\\") + portName;
#else
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    return QStringLiteral("/dev/") + portName;
#endif
}

QString description(const QString &portName)
{
    return QStringLiteral("%1 (%2), %3 baud 8N1, no flow control")
            .arg(portName, systemLocation(portName), QString::number(BaudRate));
}

qint64 write(QIODevice &line, const QByteArray &bytes, Exchange exchange)
{
    if (TraceWriter *trace = TraceWriter::followerOf(&line))
        trace->writeRecord(TraceWriter::Direction::ToReceiver, exchangeName(exchange), bytes);
    return line.write(bytes);
}

QByteArray readAll(QIODevice &line, Exchange exchange)
{
    const QByteArray bytes = line.readAll();
    if (bytes.isEmpty())
        return bytes;
    if (TraceWriter *trace = TraceWriter::followerOf(&line))
        trace->writeRecord(TraceWriter::Direction::FromReceiver, exchangeName(exchange), bytes);
    return bytes;
}

bool deviceGone(const QSerialPort &port)
{
#ifdef Q_OS_UNIX
    const QString name = port.portName();
    return !name.isEmpty() && !QFileInfo::exists(systemLocation(name));
#else
    Q_UNUSED(port);
    return false;
#endif
}

} // namespace ReceiverLine
