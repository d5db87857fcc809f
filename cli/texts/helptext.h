// spiffs-cli --help and COMMAND --help, made from the tables of
// commandtable.h, options.h and failures.h.
#ifndef HELPTEXT_H
#define HELPTEXT_H

#include <QtCore/QString>

// The general help, or a command's own when command is one.
QString helpText(const QString &command = QString());

#endif // HELPTEXT_H
