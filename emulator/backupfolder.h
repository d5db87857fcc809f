// A backup folder (spiffs-cli backup) as the emulator's store: the files its
// MANIFEST lists, under the exact names and in the order it gives. MANIFEST
// and the staging folder are not receiver files, nor is any file the
// MANIFEST does not list. A new name gets a flat path of its own, as in a
// plain folder, and every change writes the MANIFEST afresh, so the folder
// stays a backup restore takes. A line for a file not served (one restore
// leaves out, one missing, changed since, behind a link or without room) is
// kept as it was.
#ifndef BACKUPFOLDER_H
#define BACKUPFOLDER_H

#include "backupmanifest.h"
#include "spiffslayout.h"

#include <QtCore/QHash>
#include <QtCore/QStringList>
#include <QtCore/QVector>

class BackupFolder
{
public:
    // Reads what manifest (the folder's MANIFEST) lists into files, as much
    // as capacity holds; says in warnings what is not served and why. False
    // with error for a MANIFEST that cannot be trusted.
    bool load(const QString &folder, const QByteArray &manifest, quint32 capacity, QVector<StoredFile> *files,
              QStringList *warnings, QString *error);

    // Where name's copy lies, relative to the folder; empty for a name
    // without one.
    QString pathOf(const QByteArray &name) const { return m_paths.value(name); }
    // Gives a name without a copy a free flat path, clear of the MANIFEST,
    // of every path it gives and of every file already there.
    void claimPath(const QByteArray &name);
    void forget(const QByteArray &name) { m_paths.remove(name); }

    // After a change to the served files: the MANIFEST written afresh.
    bool stored(const QByteArray &name, const QVector<StoredFile> &served, quint32 usedBytes);
    bool removed(const QByteArray &name, const QVector<StoredFile> &served, quint32 usedBytes);
    bool formatted(quint32 usedBytes);

private:
    QString notServed(const BackupManifest::File &entry, quint64 used, QByteArray *content) const;
    void noteUnlistedFiles(QStringList *warnings) const;
    bool writeManifest(const QVector<StoredFile> &served, quint32 usedBytes) const;

    QString m_folder;
    quint32 m_capacity = 0;
    QHash<QByteArray, QString> m_paths;   // name -> path in the folder
    QVector<BackupManifest::File> m_kept; // lines not served
};

#endif // BACKUPFOLDER_H
