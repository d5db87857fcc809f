// Standard streams and Ctrl-C, portably: data goes to standard output,
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
// Bytes as they are on standard output; false when it would not take them.
bool writeData(const QByteArray &bytes);

// A line typed on standard input, without its end; empty at its end.
QString readLine();

// From here on, Ctrl-C only raises a flag for interrupted() to report.
void catchInterrupt();
bool interrupted();

} // namespace Console

#endif // CONSOLE_H
