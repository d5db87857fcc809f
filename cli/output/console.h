// Standard streams and signals, portably: data goes to standard output,
// messages to standard error with the program's name before them.
#ifndef CONSOLE_H
#define CONSOLE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstdio>

namespace Console {

bool isTerminal(std::FILE *stream);

// "spiffs-cli: " and the message, on standard error.
void printError(const QString &message);
// Text as it is, on standard error (the progress meter and questions).
void printStatus(const QString &text);
// A line of text on standard output.
void printLine(const QString &text);

enum class WriteResult {
    Written,
    Closed, // the reader went away (a closed pipe): the output's end, not a failure
    Failed, // anything else, a full disk for one
};
// Bytes as they are on standard output.
WriteResult writeData(const QByteArray &bytes);

// A line typed on standard input, without its end; empty at its end or when
// a signal ended the wait.
QString readLine();

// A closed pipe on standard output becomes a failed write instead of the
// end of the process. Call first.
void ignoreBrokenPipe();

// From here on, Ctrl-C, SIGTERM and SIGHUP only raise a flag for
// interrupted() to report, and a wait for input ends at once.
void catchInterrupt();
bool interrupted();
// Forgets a Ctrl-C that a child program took for its own; a request to
// terminate is never forgotten.
void forgetInterrupt();
// Which: Ctrl-C, or a request to terminate (SIGTERM, SIGHUP).
bool terminated();

} // namespace Console

#endif // CONSOLE_H
