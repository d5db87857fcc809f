// One run of spiffs-cli: reads the command line, answers --help and
// --version, and runs the command's row of the command table on a session
// that opens the port when the command first needs it.
#ifndef CLITOOL_H
#define CLITOOL_H

#include <QtCore/QStringList>

// The process's exit status.
int runCli(const QStringList &arguments);

#endif // CLITOOL_H
