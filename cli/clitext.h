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

// The characters an explicit put NAME may hold: those the window's upload
// keeps, and "/".
bool nameCharactersAccepted(const QString &name);

#endif // CLITEXT_H
