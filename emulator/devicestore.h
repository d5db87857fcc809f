// The receiver's SPIFFS as the emulator keeps it: a flat list of files
// (names may contain "/"), space counted in 256-byte pages, held in memory or
// written through to a host folder.
#ifndef DEVICESTORE_H
#define DEVICESTORE_H

#include "backupfolder.h"
#include "spiffslayout.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

#include <optional>

class QDir;

class DeviceStore
{
public:
    // What the firmware reports as the total of a typical 1.5 MB partition:
    // the rest goes to block headers, lookup pages and spare blocks.
    static constexpr quint32 DefaultCapacity = 1318001;

    using File = StoredFile;

    explicit DeviceStore(quint32 capacity = DefaultCapacity);

    // Backs the store with a host folder: its files are loaded (sorted by
    // name; those that do not fit are skipped) and every later change is
    // written through. Warnings about skipped host files go to warnings.
    // A folder holding a backup's MANIFEST is that backup (see
    // backupfolder.h), and every change keeps its MANIFEST up to date.
    bool attachFolder(const QString &folder, QString *error = nullptr);
    QString folder() const { return m_folder; }
    QStringList warnings() const { return m_warnings; }


    quint32 capacity() const { return m_capacity; }
    quint32 usedBytes() const;
    quint32 freeBytes() const;

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

private:
    int indexOf(const QByteArray &name) const;
    QString hostPath(const QByteArray &name) const;
    void loadPlainFolder(const QDir &dir);

    quint32 m_capacity;
    QString m_folder;
    QStringList m_warnings;
    QVector<File> m_files;
    std::optional<BackupFolder> m_backup;
};

#endif // DEVICESTORE_H
