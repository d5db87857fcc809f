// The emulator's command line read by the table of its options
// (optiontable.h) into the options of the engine it runs.
#ifndef EMULATORARGUMENTS_H
#define EMULATORARGUMENTS_H

#include "engineoptions.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

struct ParsedArguments
{
    EngineOptions options;
    bool helpRequested = false;
    bool versionRequested = false;
    QString error; // empty when the arguments were fine
    QString helpText;
};

// arguments[0] is the program's name, as in QCoreApplication::arguments().
// The options are the rows of optiontable.h, checked in their order.
ParsedArguments parseEmulatorArguments(const QStringList &arguments);

#endif // EMULATORARGUMENTS_H
