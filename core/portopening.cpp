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

Desktop thisDesktop()
{
#if defined(Q_OS_WIN)
    return Desktop::Windows;
#elif defined(Q_OS_MACOS)
    return Desktop::MacOS;
#else
    return Desktop::Linux;
#endif
}

QString noPortAdvice(Desktop desktop)
{
    const QString cable = QStringLiteral("is the receiver plugged in, with a cable that carries data (some carry only "
                                         "power)? ");
    switch (desktop) {
    case Desktop::Windows:
        return cable + QStringLiteral("Device Manager lists it under Ports (COM & LPT) as \"Silicon Labs CP210x USB to "
                                      "UART Bridge (COM3)\" once the bridge's driver is in; listed under Other devices "
                                      "with a yellow mark, it needs Silicon Labs' CP210x VCP driver");
    case Desktop::MacOS:
        return cable + QStringLiteral("It shows up as /dev/cu.usbserial-... with the driver macOS brings, or as "
                                      "/dev/cu.SLAB_USBtoUART with Silicon Labs' own; ls /dev/cu.* lists the ports");
    case Desktop::Linux:
        break;
    }
    return cable + QStringLiteral("Linux names it /dev/ttyUSB0 (sudo dmesg shows the cp210x driver taking it); when "
                                  "it vanishes a second later, brltty took it (troubleshooting.md, beside README)");
}

namespace {

// Windows keeps no permissions on a port, and "access denied" is what it
// says about a port another program holds open.
QString windowsReason(QSerialPort::SerialPortError error, const QString &errorString)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("no such port: ") + noPortAdvice(Desktop::Windows);
    case QSerialPort::PermissionError:
        return QStringLiteral("in use: another program has it open (a serial monitor, the Arduino IDE, the window, "
                              "spiffs-cli); close it and try again");
    case QSerialPort::OpenError:
        return QStringLiteral("busy: it is already open");
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("not a serial port");
    default:
        return errorString;
    }
}

// macOS has no groups to join and no udev: a device file closed to this
// user is rare enough to say only who may use it.
QString macPermissionAdvice(const QString &systemLocation)
{
    return QStringLiteral("no permission to use it: ls -l %1 shows who may").arg(systemLocation);
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
                      const QStringList &ruleFolders, Desktop desktop)
{
    if (portName.isEmpty())
        return QStringLiteral("no port is chosen: ") + noPortAdvice(desktop);
    if (desktop == Desktop::Windows)
        return windowsReason(error, errorString);
    const QString location = ReceiverLine::systemLocation(portName);
    const PortAccess access = checkAccess(portName);
    if (error == QSerialPort::DeviceNotFoundError || access == PortAccess::Missing)
        return QStringLiteral("no such port: is the receiver plugged in?");
    if (error == QSerialPort::UnsupportedOperationError || notATerminal(location))
        return QStringLiteral("not a serial port");
    switch (error) {
    case QSerialPort::PermissionError:
        // Qt reports a port held by another program as a permission error
        // too; the device file's permissions tell the two apart.
        if (access == PortAccess::NoPermission) {
            return desktop == Desktop::MacOS ? macPermissionAdvice(location)
                                             : permissionAdvice(location, installedUdevRule(ruleFolders));
        }
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
