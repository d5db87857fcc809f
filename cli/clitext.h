// Device names as spiffs-cli shows and checks them, and its JSON output;
// shared by the single-file commands and the whole-receiver jobs.
#ifndef CLITEXT_H
#define CLITEXT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

class QJsonObject;

// A device name as a terminal is to show it: control characters as \xHH.
QString shownName(const QByteArray &name);

// One JSON document on standard output.
void printJson(const QJsonObject &object);

#endif // CLITEXT_H
