// The receiver's SPIFFS as the emulator keeps it: a flat list of files
// (names may contain "/"), space counted in 256-byte pages, held in memory or
// written through to a host folder.
#ifndef DEVICESTORE_H
#define DEVICESTORE_H

#include "backupmanifest.h"

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

class QDir;

class DeviceStore
{
public:
    static constexpr quint32 PageSize = 256;
    // SPIFFS keeps 32 bytes for a name, its terminating zero included.
    static constexpr int MaxPathBytes = 31;
    // What the firmware reports as the total of a typical 1.5 MB partition:
    // the rest goes to block headers, lookup pages and spare blocks.
    static constexpr quint32 DefaultCapacity = 1318001;

    struct File
    {
        QByteArray name; // without the leading "/"
        QByteArray content;
    };

    explicit DeviceStore(quint32 capacity = DefaultCapacity);

    // Backs the store with a host folder: its files are loaded (sorted by
    // name; those that do not fit are skipped) and every later change is
    // written through. Warnings about skipped host files go to warnings.
    // A folder holding a backup's MANIFEST is that backup (see below).
    bool attachFolder(const QString &folder, QString *error = nullptr);
    QString folder() const { return m_folder; }
    QStringList warnings() const { return m_warnings; }

    // A backup folder (spiffs-cli backup) as the store: the files its
    // MANIFEST lists, under the exact names and in the order it gives;
    // MANIFEST and the staging folder are not receiver files, nor is any
    // file the MANIFEST does not list. A change writes the file at its path
    // (a new name gets a flat path of its own, as in a plain folder) and
    // then the MANIFEST afresh, so the folder stays a backup restore takes.
    // A line for a file not served (one restore leaves out, one missing,
    // changed since, behind a link or without room) is kept as it was.
    bool isBackup() const { return m_backup; }

    quint32 capacity() const { return m_capacity; }
    quint32 usedBytes() const;
    quint32 freeBytes() const;

    // A file takes one page for its header (name and size) and one page for
    // every started 256 bytes of content.
    static quint32 pagesFor(quint32 size);
    static quint64 footprint(quint32 size) { return quint64(pagesFor(size)) * PageSize; }

    // A name as SPIFFS takes it: not empty, no zero byte, and with the leading
    // "/" at most MaxPathBytes long.
    static bool isValidName(const QByteArray &name);

    // In listing order: the order in which the files were written.
    const QVector<File> &files() const { return m_files; }
    const File *find(const QByteArray &name) const;
    // Whether content of size bytes can be stored as name, replacing the file
    // of that name if there is one.
    bool fits(const QByteArray &name, quint32 size) const;

    // Writes (or replaces) a file; a replaced file moves to the end of the
    // listing, as SPIFFS writes it to fresh pages. False when the name is not
    // valid, there is no room, or the host folder refuses the write.
    bool store(const QByteArray &name, const QByteArray &content);
    bool remove(const QByteArray &name);
    // Removes every file (from the host folder too).
    void format();

    // The host folder's file name for a device name and back: "%", "/",
    // control bytes, bytes of names that are not UTF-8, and a leading "."
    // (no hidden files, no "." or "..") are written as %XX.
    static QString hostFileName(const QByteArray &name);
    static QByteArray nameFromHostFile(const QString &fileName); // empty when not one of ours

private:
    int indexOf(const QByteArray &name) const;
    QString hostPath(const QByteArray &name) const;
    void loadPlainFolder(const QDir &dir);
    bool loadBackup(const QDir &dir, const QByteArray &manifest, QString *error);
    // Why a MANIFEST's line is not served, or empty when its file is read into content.
    QString notServed(const QDir &dir, const BackupManifest::File &entry, quint64 used, QByteArray *content) const;
    void noteUnlistedFiles();
    QString freeBackupPath(const QByteArray &name) const;
    bool writeManifest();

    quint32 m_capacity;
    QString m_folder;
    QStringList m_warnings;
    QVector<File> m_files;
    bool m_backup = false;
    QHash<QByteArray, QString> m_paths;   // a backup's files: name -> path in the folder
    QVector<BackupManifest::File> m_kept; // a backup's lines not served
};

#endif // DEVICESTORE_H
