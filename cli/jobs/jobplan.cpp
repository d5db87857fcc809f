#include "cli/jobs/jobplan.h"

#include "cli/names/devicenames.h"
#include "cli/names/localfiles.h"
#include "cli/jobs/manifest.h"

#include "core/receiverline.h"
#include "core/wireformat.h"
#include "core/transferformat.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSet>
#include <QtCore/QStringList>

#include <algorithm>
#include <numeric>

namespace JobPlan {

namespace {

constexpr int BaudRate = ReceiverLine::BaudRate;
constexpr int BitsPerByte = 10;

QString key(const QString &path)
{
    return path.toCaseFolded();
}

// "stem~n.type" in the path's last part, the stem shortened to keep the
// part within what file systems take.
QString withNumber(const QString &path, int number)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = path.left(slash + 1);
    const QString part = path.mid(slash + 1);
    const int dot = part.lastIndexOf(QLatin1Char('.'));
    QString stem = dot > 0 ? part.left(dot) : part;
    const QString tail = QStringLiteral("~%1").arg(number) + (dot > 0 ? part.mid(dot) : QString());
    while (!stem.isEmpty() && (stem + tail).toUtf8().size() > TransferFormat::MaxLocalNameBytes)
        stem.chop(1);
    return folder + stem + tail;
}

} // namespace

QVector<QString> backupPaths(const QVector<QByteArray> &names, const QSet<QString> &takenFiles,
                             const QSet<QString> &takenFolders)
{
    QVector<int> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    // By name, so a path depends on the names alone, not on the order the
    // receiver lists them in.
    std::sort(order.begin(), order.end(), [&](int a, int b) { return names.at(a) < names.at(b); });

    const QSet<QString> own = {key(QLatin1String(Manifest::FileName)), key(QLatin1String(StagingFolder))};
    QSet<QString> files = own + takenFiles;
    QSet<QString> folders = own + takenFolders;
    QVector<QString> paths(names.size());
    for (const int index : std::as_const(order)) {
        const QString text = CatalogueFormat::deviceNameText(names.at(index));
        QStringList parts = text.split(QLatin1Char('/'));
        for (QString &part : parts)
            part = TransferFormat::localFileName(part);
        QString path = parts.join(QLatin1Char('/'));
        QString folder;
        for (int i = 0; i + 1 < parts.size(); ++i) {
            folder += (i ? QStringLiteral("/") : QString()) + parts.at(i);
            if (files.contains(key(folder))) {
                path = TransferFormat::localFileName(text);
                break;
            }
        }
        const QString plain = path;
        for (int number = 2; files.contains(key(path)) || folders.contains(key(path)); ++number)
            path = withNumber(plain, number);

        files.insert(key(path));
        for (int slash = path.indexOf(QLatin1Char('/')); slash >= 0; slash = path.indexOf(QLatin1Char('/'), slash + 1))
            folders.insert(key(path.left(slash)));
        paths[index] = path;
    }
    return paths;
}

qint64 downloadWireBytes(const QByteArray &name, qint64 size)
{
    return TransferFormat::downloadRequest(name).size() + TransferFormat::DownloadHeaderSize + size;
}

qint64 uploadWireBytes(const QByteArray &name, qint64 size)
{
    // Every frame is answered with one byte.
    const qint64 start = TransferFormat::uploadStartRequest(WireFormat::devicePath(name), quint32(size)).size() + 1;
    const qint64 chunkFrame = WireFormat::commandFrame(WireFormat::Letter::Upload, QByteArray(1, '\0')).size() + 1;
    const qint64 end = WireFormat::commandFrame(WireFormat::Letter::UploadEnd).size() + 1;
    return start + TransferFormat::uploadChunkCount(size) * chunkFrame + size + end;
}

qint64 removeWireBytes(const QByteArray &name)
{
    return WireFormat::fileRequest(WireFormat::Letter::Remove, name).size() + 1;
}

double wireSeconds(qint64 bytes)
{
    return double(bytes) * BitsPerByte / BaudRate;
}

QString unstorableReason(const QString &name)
{
    switch (TransferFormat::storableNameProblem(name)) {
    case TransferFormat::NameProblem::None:
        break;
    case TransferFormat::NameProblem::Characters:
        return QStringLiteral("holds characters a receiver's name may not (only A-Z a-z 0-9 _ ' ( ) * + , - . and /)");
    case TransferFormat::NameProblem::Shape:
        return QStringLiteral("needs something before its first \".\" and a type after it");
    case TransferFormat::NameProblem::Length:
        return QStringLiteral("longer than the receiver's %1 bytes").arg(TransferFormat::MaxDevicePathBytes - 1);
    }
    return QString();
}

QString unrestorableReason(const QByteArray &name)
{
    if (name.isEmpty())
        return QStringLiteral("its name is empty");
    if (name.contains('\0'))
        return QStringLiteral("its name holds a zero byte, where the receiver's names end");
    if (!TransferFormat::devicePathFits(name))
        return QStringLiteral("its name is longer than the receiver's %1 bytes").arg(TransferFormat::MaxDevicePathBytes - 1);
    return QString();
}

namespace {

// The receiver's name for a path relative to sync's folder: each part
// cleaned as put cleans a file's name; empty when a part keeps nothing.
QString cleanedName(const QString &name)
{
    QStringList parts = name.split(QLatin1Char('/'));
    for (QString &part : parts) {
        part = TransferFormat::uploadName(part);
        if (part.isEmpty())
            return QString();
    }
    return parts.join(QLatin1Char('/'));
}

// Where a skipped entry would have gone on the receiver: a file's name, or
// a folder's with "/" after it; empty when its name cleans to nothing.
QString skippedDeviceName(const QString &deviceFolder, const QString &name, bool folder)
{
    const QString cleaned = cleanedName(name);
    if (cleaned.isEmpty())
        return QString();
    return deviceFolder + cleaned + (folder ? QStringLiteral("/") : QString());
}

void scan(const QString &top, const QDir &dir, const QString &prefix, const QString &deviceFolder, LocalTree &tree)
{
    const QFileInfoList entries =
            dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString name = prefix + entry.fileName();
        // Dot-names are hidden on Unix only; the staging folder is one.
        if (entry.fileName().startsWith(QLatin1Char('.')) || name == QLatin1String(Manifest::FileName)
            || Manifest::isKeptName(name))
            continue;
        if (entry.isDir() && entry.isSymLink()) {
            tree.skipped << Skipped{name, QStringLiteral("a link to a folder, not followed"),
                                    skippedDeviceName(deviceFolder, name, true)};
        } else if (entry.isSymLink() && ::leadsOutside(top, entry.filePath())) {
            tree.skipped << Skipped{name, QStringLiteral("a link leading outside the folder, not followed")};
        } else if (entry.isDir()) {
            scan(top, QDir(entry.filePath()), name + QLatin1Char('/'), deviceFolder, tree);
        } else if (!entry.isFile()) {
            tree.skipped << Skipped{name, QStringLiteral("not a regular file")};
        } else if (const QString cleaned = cleanedName(name); cleaned.isEmpty()) {
            tree.skipped << Skipped{name, QStringLiteral("a part of its name holds no character a receiver's name may "
                                                         "(A-Z a-z 0-9 _ ' ( ) * + , - .)")};
        } else if (const QString reason = unstorableReason(deviceFolder + cleaned); !reason.isEmpty()) {
            tree.skipped << Skipped{name, deviceFolder.isEmpty() && cleaned == name
                                                  ? reason
                                                  : QStringLiteral("as %1: %2").arg(deviceFolder + cleaned, reason)};
        } else {
            tree.files << LocalFile{entry.filePath(), name, entry.size(), deviceFolder + cleaned};
        }
    }
    // Qt's listing leaves these out; they are said, not silently missing.
    for (const UndecodableName &raw : undecodableNames(dir.path())) {
        if (raw.name.startsWith('.'))
            continue;
        tree.skipped << Skipped{prefix + shownName(raw.name),
                                QStringLiteral("its name is not UTF-8, so it cannot be opened by that name here: rename it"),
                                skippedDeviceName(deviceFolder, prefix + QFile::decodeName(raw.name), raw.folder)};
    }
}

} // namespace

LocalTree scanFolder(const QString &folder, const QString &deviceFolder)
{
    LocalTree tree;
    scan(folder, QDir(folder), QString(), deviceFolder, tree);
    std::sort(tree.files.begin(), tree.files.end(),
              [](const LocalFile &a, const LocalFile &b) { return a.name < b.name; });
    return tree;
}

} // namespace JobPlan
