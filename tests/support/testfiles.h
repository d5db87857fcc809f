// Local files for the tests: made, read back and listed.
#ifndef TESTFILES_H
#define TESTFILES_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QStringList>

class QTemporaryDir;

// size bytes in a repeatable pattern that differs by seed.
QByteArray patterned(int size, int seed);

// The file's content, or "<missing>" when it cannot be read.
QByteArray readLocalFile(const QString &path);

// Writes content to name in folder; returns the path, empty on failure.
QString writeLocalFile(const QTemporaryDir &folder, const QString &name, const QByteArray &content);

// Everything in folder, hidden and temporary files included.
QStringList folderEntries(const QString &folder);

#endif // TESTFILES_H
