// Device names as spiffs-cli shows and checks them, and its JSON output;
// shared by the single-file commands and the whole-receiver jobs.
#ifndef CLITEXT_H
#define CLITEXT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

class QJsonObject;

// A device name as a terminal is to show it: control characters as \xHH.
QString shownName(const QByteArray &name);

// A size for a person: bytes below 1 KiB, then KiB, MiB or GiB (1 KiB = 1024
// bytes) to one decimal. Every size and rate spiffs-cli shows uses it.
QString byteCount(qint64 bytes);

// One JSON document on a line of standard output.
void printJson(const QJsonObject &object);

#endif // CLITEXT_H
