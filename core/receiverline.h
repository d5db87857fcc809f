// The serial line to the receiver as both front ends open, watch, write and
// read it, so the window and the command line never set it up differently
// and a trace sees every byte either moves. Qt Core and SerialPort only.
#ifndef RECEIVERLINE_H
#define RECEIVERLINE_H

#include "core/exchange.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtSerialPort/QSerialPort>

class QIODevice;

namespace ReceiverLine {

inline constexpr qint32 BaudRate = 115200;

// 115200 baud both ways, 8 data bits, no parity, one stop bit, no flow
// control, set in that order; the port is then ready to open.
void applySettings(QSerialPort &port);

// An unplugged device shows up as a resource error, or as a read or write
// error when the line reports end-of-file; either way the port is of no more
// use.
bool meansLineLost(QSerialPort::SerialPortError error);

// The device file QSerialPort opens for a port name: the name itself when
// it is a path.
QString systemLocation(const QString &portName);

// The port and how it is set, as a trace names it: "ttyUSB0
// (/dev/ttyUSB0), 115200 baud 8N1, no flow control".
QString description(const QString &portName);

// Every write to the receiver and every read from it goes through these
// two, so that the trace writer following the line (TraceWriter::follow)
// records it under the exchange it belongs to. One write, as QIODevice::write
// returns it; the record comes first, as the bytes leave.
qint64 write(QIODevice &line, const QByteArray &bytes, Exchange exchange);
// Everything the line has; an empty read leaves no record.
QByteArray readAll(QIODevice &line, Exchange exchange);

// Whether the port's device file is gone (a USB adapter unplugged): asked
// when the receiver falls silent, so that silence after an unplugging the
// port did not report is called what it is.
bool deviceGone(const QSerialPort &port);

} // namespace ReceiverLine

#endif // RECEIVERLINE_H
