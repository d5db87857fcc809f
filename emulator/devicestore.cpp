#include "devicestore.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>

#include <algorithm>
#include <utility>

using namespace SpiffsLayout;

DeviceStore::DeviceStore(quint32 capacity)
    : m_capacity(capacity)
{
}

bool DeviceStore::attachFolder(const QString &folder, QString *error)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) {
        if (error)
            *error = QStringLiteral("no such folder: %1").arg(folder);
        return false;
    }
    m_folder = dir.absolutePath();
    m_files.clear();
    m_warnings.clear();
    m_backup.reset();

    QFile manifest(dir.filePath(QLatin1String(BackupManifest::FileName)));
    if (manifest.open(QIODevice::ReadOnly)) {
        const QByteArray text = manifest.readAll();
        if (BackupManifest::looksLikeOne(text)) {
            m_backup.emplace();
            if (m_backup->load(m_folder, text, m_capacity, &m_files, &m_warnings, error))
                return true;
            m_backup.reset();
            return false;
        }
    }
    loadPlainFolder(dir);
    return true;
}

void DeviceStore::loadPlainFolder(const QDir &dir)
{
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                                    QDir::Name);
    quint64 used = 0;
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            m_warnings << QStringLiteral("skipped ") + entry.fileName()
                            + QStringLiteral(": SPIFFS has no folders (a \"/\" in a name is written %2F)");
            continue;
        }
        const QByteArray name = nameFromHostFile(entry.fileName());
        if (name.isEmpty()) {
            m_warnings << QStringLiteral("skipped ") + entry.fileName()
                            + QStringLiteral(": not a name this store writes (a leading \".\", \"/\" and \"%\" are "
                                             "written %2E, %2F and %25)");
            continue;
        }
        if (!isValidName(name)) {
            m_warnings << QStringLiteral("skipped %1: not a name the receiver can hold (at most %2 bytes with "
                                         "the leading \"/\")")
                                  .arg(entry.fileName(), QString::number(MaxPathBytes));
            continue;
        }
        if (entry.size() > qint64(0xFFFFFFFFu) || used + footprint(quint32(entry.size())) > m_capacity) {
            m_warnings << QStringLiteral("skipped %1: no room left").arg(entry.fileName());
            continue;
        }
        QFile file(entry.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly)) {
            m_warnings << QStringLiteral("skipped %1: %2").arg(entry.fileName(), file.errorString());
            continue;
        }
        File loaded{name, file.readAll()};
        used += footprint(quint32(loaded.content.size()));
        m_files.append(loaded);
    }
}

quint32 DeviceStore::usedBytes() const
{
    quint64 used = 0;
    for (const File &file : m_files)
        used += footprint(quint32(file.content.size()));
    return quint32(std::min<quint64>(used, 0xFFFFFFFFu));
}

quint32 DeviceStore::freeBytes() const
{
    const quint32 used = usedBytes();
    return used >= m_capacity ? 0 : m_capacity - used;
}

const DeviceStore::File *DeviceStore::find(const QByteArray &name) const
{
    const int index = indexOf(name);
    return index < 0 ? nullptr : &m_files.at(index);
}

bool DeviceStore::fits(const QByteArray &name, quint32 size) const
{
    quint64 used = usedBytes();
    if (const File *old = find(name))
        used -= footprint(quint32(old->content.size()));
    return used + footprint(size) <= m_capacity;
}

bool DeviceStore::store(const QByteArray &name, const QByteArray &content)
{
    if (!isValidName(name) || !fits(name, quint32(content.size())))
        return false;
    const bool newInBackup = m_backup && m_backup->pathOf(name).isEmpty();
    if (newInBackup)
        m_backup->claimPath(name);
    if (!m_folder.isEmpty()) {
        QSaveFile file(hostPath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
            if (newInBackup)
                m_backup->forget(name);
            return false;
        }
    }
    const int old = indexOf(name);
    if (old >= 0)
        m_files.remove(old);
    m_files.append(File{name, content});
    return !m_backup || m_backup->stored(name, m_files, usedBytes());
}

bool DeviceStore::remove(const QByteArray &name)
{
    const int index = indexOf(name);
    if (index < 0)
        return false;
    if (!m_folder.isEmpty() && !QFile::remove(hostPath(name)) && QFileInfo::exists(hostPath(name)))
        return false;
    m_files.remove(index);
    return !m_backup || m_backup->removed(name, m_files, usedBytes());
}

void DeviceStore::format()
{
    if (!m_folder.isEmpty()) {
        for (const File &file : std::as_const(m_files))
            QFile::remove(hostPath(file.name));
    }
    m_files.clear();
    if (m_backup)
        m_backup->formatted(usedBytes());
}

int DeviceStore::indexOf(const QByteArray &name) const
{
    for (int i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).name == name)
            return i;
    }
    return -1;
}

QString DeviceStore::hostPath(const QByteArray &name) const
{
    return m_folder + QLatin1Char('/') + (m_backup ? m_backup->pathOf(name) : hostFileName(name));
}
