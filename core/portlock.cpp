#include "core/portlock.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace PortLocks {

QStringList lockFolders()
{
    // As QSerialPort searches them.
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock"),
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

QString lockFileName(const QString &systemLocation)
{
    QString name = systemLocation.startsWith(QLatin1String("/dev/")) ? systemLocation.mid(5) : systemLocation;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

namespace {

#ifdef Q_OS_UNIX
bool processRuns(qint64 pid)
{
    // EPERM: it runs, as another user (root).
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readLine()).trimmed();
}

// Qt removes a lock whose process has ended when it may write the file and
// unlink it: in a sticky folder (/var/lock, /tmp) only its owner may.
bool removableByThisUser(const QString &path)
{
    if (::geteuid() == 0)
        return true;
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat fileInfo {};
    struct stat folderInfo {};
    if (::stat(file.constData(), &fileInfo) != 0 || ::stat(folder.constData(), &folderInfo) != 0)
        return false;
    if (::access(file.constData(), W_OK) != 0 || ::access(folder.constData(), W_OK) != 0)
        return false;
    const bool sticky = (folderInfo.st_mode & S_ISVTX) != 0;
    return !sticky || fileInfo.st_uid == ::geteuid() || folderInfo.st_uid == ::geteuid();
}
#endif

} // namespace

std::optional<PortLock> read(const QString &path)
{
#ifdef Q_OS_UNIX
    if (!QFileInfo::exists(path))
        return std::nullopt;
    PortLock lock;
    lock.path = path;
    QFile file(path);
    bool number = false;
    if (file.open(QIODevice::ReadOnly))
        lock.pid = QString::fromLatin1(file.readLine().trimmed()).toLongLong(&number);
    if (!number || lock.pid <= 0) {
        // Whose it is cannot be told: taken as held, not as left behind.
        lock.pid = 0;
        lock.running = true;
        return lock;
    }
    lock.running = processRuns(lock.pid);
    if (lock.running)
        lock.program = processName(lock.pid);
    lock.removable = removableByThisUser(path);
    return lock;
#else
    Q_UNUSED(path);
    return std::nullopt;
#endif
}

QString lockPath(const QString &systemLocation, const QStringList &folders)
{
    const QString name = lockFileName(systemLocation);
    for (const QString &folder : folders) {
        const QFileInfo info(folder);
        if (folder.isEmpty() || !info.isReadable())
            continue;
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo::exists(path) || info.isWritable())
            return path;
    }
    return QString();
}

std::optional<PortLock> find(const QString &systemLocation, const QStringList &folders)
{
#ifdef Q_OS_UNIX
    const QString path = lockPath(systemLocation, folders);
    return path.isEmpty() ? std::nullopt : read(path);
#else
    Q_UNUSED(systemLocation);
    Q_UNUSED(folders);
    return std::nullopt;
#endif
}

} // namespace PortLocks
