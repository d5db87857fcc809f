// SPIFFS_TRACE=FILE: the window writes the trace `spiffs-cli --trace FILE`
// writes, with the core's writer following the port, so the two programs'
// traces differ only where the programs do.
#ifndef LINETRACE_H
#define LINETRACE_H

class QSerialPort;
class QString;

inline constexpr char TraceVariable[] = "SPIFFS_TRACE";

// Opens the file the variable names, unless a trace is already open: the
// header, the program and its arguments. A file that cannot be written is
// said on standard error, and the window runs without a trace.
void startTraceFromEnvironment();

// At each Connect, once the port is open: the records' clock starts again,
// a comment names the port as the port list shows it, and the writer
// follows the port.
void traceOpenedPort(QSerialPort &port, const QString &portName);

#endif // LINETRACE_H
