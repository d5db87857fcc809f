#include "core/portopening.h"

#include "core/receiverline.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

PortAccess checkAccess(const QString &portName)
{
#ifdef Q_OS_WIN
    QSerialPort port(portName);
    if (port.open(QIODevice::ReadWrite)) {
        port.close();
        return PortAccess::Usable;
    }
    return port.error() == QSerialPort::DeviceNotFoundError ? PortAccess::Missing : PortAccess::Busy;
#else
    const QFileInfo device(ReceiverLine::systemLocation(portName));
    if (!device.exists())
        return PortAccess::Missing;
    if (!device.isReadable() || !device.isWritable())
        return PortAccess::NoPermission;
    return PortAccess::Usable;
#endif
}

namespace PortOpening {

namespace {

// Where the package's README is, for those who did not install the package
// too: the section names the same in both.
const QString ReadmeWhere = QStringLiteral("README.md, \"The udev rule\"; installed as "
                                           "/usr/share/doc/spiffs-manager/README.md.gz");

// A file that is there but no terminal at all (a regular file, /dev/null):
// Qt only says its ioctl failed.
bool notATerminal(const QString &location)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    return ::stat(QFile::encodeName(location).constData(), &info) == 0 && !S_ISCHR(info.st_mode);
#else
    Q_UNUSED(location);
    return false;
#endif
}

} // namespace

QStringList udevRuleFolders()
{
    return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/lib/udev/rules.d"),
            QStringLiteral("/usr/lib/udev/rules.d")};
}

QString installedUdevRule(const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(QLatin1String(UdevRuleName));
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QString permissionAdvice(const QString &systemLocation, const QString &installedRule)
{
    const QString group = QFileInfo(systemLocation).group();
    const bool ownGroup = !group.isEmpty() && group != QLatin1String("root");
    QString advice = QStringLiteral("no permission to use it");
    if (ownGroup) {
        advice += QStringLiteral(": %1 belongs to the group %2; join it (sudo usermod -aG %2 $USER, then log out "
                                 "and in again)")
                          .arg(systemLocation, group);
    }
    if (!installedRule.isEmpty()) {
        return advice + QStringLiteral("%1 the receiver's udev rule (%2), which lets the user logged in at the computer "
                                       "open it, is installed: unplug the receiver and plug it in again, or log out and "
                                       "in again, and it applies")
                                .arg(ownGroup ? QStringLiteral("; or:") : QStringLiteral(";"), installedRule);
    }
    return advice + QStringLiteral(", or install the receiver's udev rule, which lets the user logged in at the "
                                   "computer open it (%1)")
                            .arg(ReadmeWhere);
}

QString failureReason(QSerialPort::SerialPortError error, const QString &errorString, const QString &portName,
                      const QStringList &ruleFolders)
{
    if (portName.isEmpty())
        return QStringLiteral("no port is chosen: plug the receiver in and look for its port again");
    const QString location = ReceiverLine::systemLocation(portName);
#ifdef Q_OS_WIN
    // The check would open the port once more.
    const PortAccess access = PortAccess::Busy;
#else
    const PortAccess access = checkAccess(portName);
#endif
    if (error == QSerialPort::DeviceNotFoundError || access == PortAccess::Missing)
        return QStringLiteral("no such port: is the receiver plugged in?");
    if (error == QSerialPort::UnsupportedOperationError || notATerminal(location))
        return QStringLiteral("not a serial port");
    switch (error) {
    case QSerialPort::PermissionError:
        // Qt reports a port held by another program as a permission error
        // too; the device file's permissions tell the two apart.
        if (access == PortAccess::NoPermission)
            return permissionAdvice(location, installedUdevRule(ruleFolders));
        return QStringLiteral("busy: another program is using it (a serial monitor, the window, spiffs-cli); "
                              "close it and try again");
    case QSerialPort::OpenError:
        return QStringLiteral("busy: it is already open");
    default:
        return errorString;
    }
}

QString failureReason(const QSerialPort &port, const QString &portName)
{
    return failureReason(port.error(), port.errorString(), portName);
}

} // namespace PortOpening
