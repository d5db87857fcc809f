// One run of spiffs-cli: reads the command line, answers --help and
// --version, and runs the command's row of the command table on a session
// that opens the port when the command first needs it.
#ifndef CLITOOL_H
#define CLITOOL_H

#include <QtCore/QStringList>

#include <QtCore/QByteArray>
#include <QtCore/QVector>

// The process's exit status. undecodable holds the arguments, as typed,
// that arguments could not carry unchanged: the run is refused.
int runCli(const QStringList &arguments, const QVector<QByteArray> &undecodable = {});

#endif // CLITOOL_H
