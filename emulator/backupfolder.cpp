#include "backupfolder.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>
#include <QtCore/QSet>

#include <algorithm>
#include <utility>

using SpiffsLayout::footprint;

namespace {

QString shown(const QByteArray &name)
{
    return QString::fromUtf8(BackupManifest::escaped(name));
}

QString fileCount(int count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

} // namespace

bool BackupFolder::load(const QString &folder, const QByteArray &text, quint32 capacity, QVector<StoredFile> *files,
                        QStringList *warnings, QString *error)
{
    m_folder = folder;
    m_capacity = capacity;
    m_paths.clear();
    m_kept.clear();
    BackupManifest manifest;
    QString why;
    if (!BackupManifest::parse(text, &manifest, &why)) {
        if (error)
            *error = QStringLiteral("%1, %2").arg(QDir(folder).filePath(QLatin1String(BackupManifest::FileName)), why);
        return false;
    }
    quint64 used = 0;
    int leftOut = 0;
    for (const BackupManifest::File &entry : std::as_const(manifest.files)) {
        QByteArray content;
        const QString reason = entry.restorable ? notServed(entry, used, &content) : QString();
        if (!entry.restorable || !reason.isEmpty()) {
            m_kept.append(entry);
            leftOut += entry.restorable ? 0 : 1;
            if (!reason.isEmpty())
                *warnings << QStringLiteral("skipped %1 (MANIFEST line %2): %3")
                                     .arg(shown(entry.name), QString::number(entry.line), reason);
            continue;
        }
        used += footprint(quint32(content.size()));
        files->append(StoredFile{entry.name, content});
        m_paths.insert(entry.name, entry.path);
    }
    if (leftOut > 0)
        *warnings << QStringLiteral("%1 the MANIFEST marks as not restorable: not served").arg(fileCount(leftOut));
    noteUnlistedFiles(warnings);
    return true;
}

QString BackupFolder::notServed(const BackupManifest::File &entry, quint64 used, QByteArray *content) const
{
    if (!SpiffsLayout::isValidName(entry.name))
        return QStringLiteral("not a name the receiver can hold");
    const QDir dir(m_folder);
    const QFileInfo info(dir.filePath(entry.path));
    if (info.isSymLink())
        return QStringLiteral("%1 is a link; nothing is written through one").arg(entry.path);
    if (!info.isFile())
        return QStringLiteral("%1 is missing").arg(entry.path);
    // A folder on the way may be a link leading out.
    const QString root = dir.canonicalPath() + QLatin1Char('/');
    if (!info.canonicalFilePath().startsWith(root))
        return QStringLiteral("%1 leads out of the folder").arg(entry.path);
    if (entry.size > qint64(0xFFFFFFFFu) || used + footprint(quint32(entry.size)) > m_capacity)
        return QStringLiteral("no room left");
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: %2").arg(entry.path, file.errorString());
    *content = file.readAll();
    if (content->size() != entry.size || QCryptographicHash::hash(*content, QCryptographicHash::Sha256) != entry.sha256)
        return QStringLiteral("%1 differs from the MANIFEST's size or SHA-256").arg(entry.path);
    return QString();
}

void BackupFolder::noteUnlistedFiles(QStringList *warnings) const
{
    const QDir dir(m_folder);
    QSet<QString> listed;
    for (const QString &path : std::as_const(m_paths))
        listed.insert(path);
    for (const BackupManifest::File &kept : std::as_const(m_kept))
        listed.insert(kept.path);
    const QString staging = dir.filePath(QLatin1String(BackupManifest::StagingFolder)) + QLatin1Char('/');
    int unlisted = 0;
    QDirIterator files(dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString relative = dir.relativeFilePath(path);
        if (!path.startsWith(staging) && relative != QLatin1String(BackupManifest::FileName) && !listed.contains(relative))
            ++unlisted;
    }
    if (unlisted > 0)
        *warnings << QStringLiteral("%1 of the folder that the MANIFEST does not list: not served, left as it is")
                             .arg(fileCount(unlisted));
}

void BackupFolder::claimPath(const QByteArray &name)
{
    QSet<QString> taken{QString::fromLatin1(BackupManifest::FileName).toCaseFolded()};
    for (const QString &path : std::as_const(m_paths))
        taken.insert(path.toCaseFolded());
    for (const BackupManifest::File &kept : std::as_const(m_kept))
        taken.insert(kept.path.toCaseFolded());
    const QString base = SpiffsLayout::hostFileName(name);
    const int dot = base.lastIndexOf(QLatin1Char('.'));
    for (int copy = 1;; ++copy) {
        QString path = base;
        if (copy > 1)
            path.insert(dot > 0 ? dot : base.size(), QStringLiteral("~%1").arg(copy));
        const QFileInfo there(m_folder + QLatin1Char('/') + path);
        if (!taken.contains(path.toCaseFolded()) && !there.exists() && !there.isSymLink()) {
            m_paths.insert(name, path);
            return;
        }
    }
}

bool BackupFolder::stored(const QByteArray &name, const QVector<StoredFile> &served, quint32 usedBytes)
{
    // A line kept for this name describes a file it no longer is.
    m_kept.erase(std::remove_if(m_kept.begin(), m_kept.end(),
                                [&name](const BackupManifest::File &kept) { return kept.name == name; }),
                 m_kept.end());
    return writeManifest(served, usedBytes);
}

bool BackupFolder::removed(const QByteArray &name, const QVector<StoredFile> &served, quint32 usedBytes)
{
    m_paths.remove(name);
    return writeManifest(served, usedBytes);
}

bool BackupFolder::formatted(quint32 usedBytes)
{
    m_paths.clear();
    return writeManifest({}, usedBytes);
}

bool BackupFolder::writeManifest(const QVector<StoredFile> &served, quint32 usedBytes) const
{
    QVector<BackupManifest::File> lines;
    for (const StoredFile &file : served) {
        BackupManifest::File entry;
        entry.name = file.name;
        entry.path = m_paths.value(file.name);
        entry.size = file.content.size();
        entry.sha256 = QCryptographicHash::hash(file.content, QCryptographicHash::Sha256);
        lines << entry;
    }
    const QByteArray text = BackupManifest::text(lines, m_kept, m_capacity, usedBytes);
    QSaveFile manifest(m_folder + QLatin1Char('/') + QLatin1String(BackupManifest::FileName));
    return manifest.open(QIODevice::WriteOnly) && manifest.write(text) == text.size() && manifest.commit();
}
