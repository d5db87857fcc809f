// The serial line to the receiver as both front ends open and watch it, so
// the window and the command line never set it up differently. Qt Core and
// SerialPort only.
#ifndef RECEIVERLINE_H
#define RECEIVERLINE_H

#include <QtSerialPort/QSerialPort>

namespace ReceiverLine {

inline constexpr qint32 BaudRate = 115200;

// 115200 baud both ways, 8 data bits, no parity, one stop bit, no flow
// control, set in that order; the port is then ready to open.
void applySettings(QSerialPort &port);

// An unplugged device shows up as a resource error, or as a read or write
// error when the line reports end-of-file; either way the port is of no more
// use.
bool meansLineLost(QSerialPort::SerialPortError error);

// Whether the port's device file is gone (a USB adapter unplugged): asked
// when the receiver falls silent, so that silence after an unplugging the
// port did not report is called what it is.
bool deviceGone(const QSerialPort &port);

} // namespace ReceiverLine

#endif // RECEIVERLINE_H
