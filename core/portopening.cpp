#include "core/portopening.h"

#include "core/portdiscovery.h"
#include "core/receiverline.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtSerialPort/QSerialPortInfo>

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
    return PortOpening::accessFrom(PortOpening::portFacts(portName));
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
bool isTerminal(const QString &location)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    return ::stat(QFile::encodeName(location).constData(), &info) != 0 || S_ISCHR(info.st_mode);
#else
    Q_UNUSED(location);
    return true;
#endif
}

// The ids the system lists for the device file, a link to it followed.
std::optional<std::pair<quint16, quint16>> listedUsbIds(const QString &location)
{
    const QString device = QFileInfo(location).canonicalFilePath();
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        if (info.systemLocation() != device && info.systemLocation() != location)
            continue;
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            return std::make_pair(info.vendorIdentifier(), info.productIdentifier());
        break;
    }
    return std::nullopt;
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

PortKind kindOf(const QString &location, const std::optional<std::pair<quint16, quint16>> &usbIds)
{
    if (usbIds) {
        PortDiscovery::SystemPort port;
        port.hasUsbIds = true;
        port.vendorId = usbIds->first;
        port.productId = usbIds->second;
        return PortDiscovery::knownBridge(port) ? PortKind::ReceiverBridge : PortKind::OtherUsb;
    }
    const QString name = QFileInfo(location).fileName();
    if (PortDiscovery::isBridgePortName(name))
        return PortKind::ReceiverBridge;
    // Linux's USB serial drivers, a by-id link to one, and macOS's names for
    // USB devices.
    for (const char *usb : {"ttyUSB", "ttyACM", "usb-", "cu.usb", "tty.usb", "cu.wch", "tty.wch", "cu.SLAB", "tty.SLAB"}) {
        if (name.startsWith(QLatin1String(usb)))
            return PortKind::OtherUsb;
    }
    for (const char *board : {"ttyS", "ttyAMA", "ttymxc", "ttySAC", "ttyO", "ttyTHS", "ttyMSM", "ttyLP"}) {
        if (name.startsWith(QLatin1String(board)))
            return PortKind::BuiltIn;
    }
    return PortKind::Virtual;
}

PortFacts portFacts(const QString &portName, const QStringList &ruleFolders)
{
    PortFacts facts;
    facts.location = ReceiverLine::systemLocation(portName);
#ifdef Q_OS_UNIX
    const QFileInfo device(facts.location);
    facts.exists = device.exists();
    facts.terminal = isTerminal(facts.location);
    facts.mayUse = !facts.exists || (device.isReadable() && device.isWritable());
    facts.group = device.group();
    facts.kind = kindOf(facts.location, listedUsbIds(facts.location));
    facts.installedRule = installedUdevRule(ruleFolders);
    facts.lock = PortLocks::find(facts.location);
#else
    Q_UNUSED(ruleFolders);
    facts.kind = kindOf(facts.location, listedUsbIds(facts.location));
#endif
    return facts;
}

PortAccess accessFrom(const PortFacts &facts)
{
    if (!facts.exists)
        return PortAccess::Missing;
    if (!facts.terminal)
        return PortAccess::NotATerminal;
    if (!facts.mayUse)
        return PortAccess::NoPermission;
    if (facts.lock && facts.lock->holdsPort())
        return PortAccess::Busy;
    if (facts.lock && facts.lock->leftInTheWay())
        return PortAccess::LeftLocked;
    return PortAccess::Usable;
}

QString permissionAdvice(const PortFacts &facts)
{
    const QString &location = facts.location;
    const bool ownGroup = !facts.group.isEmpty() && facts.group != QLatin1String("root");
    QString advice = QStringLiteral("no permission to use it");
    if (ownGroup) {
        advice += QStringLiteral(": %1 belongs to the group %2; join it (sudo usermod -aG %2 $USER, then log out "
                                 "and in again)")
                          .arg(location, facts.group);
    }
    if (facts.kind != PortKind::ReceiverBridge) {
        if (ownGroup)
            return advice;
        return advice + QStringLiteral(": only root may open it (ls -l %1 shows who may)").arg(location);
    }
    if (!facts.installedRule.isEmpty()) {
        return advice + QStringLiteral("%1 the receiver's udev rule (%2), which lets the user logged in at the computer "
                                       "open it, is installed: unplug the receiver and plug it in again, or log out and "
                                       "in again, and it applies")
                                .arg(ownGroup ? QStringLiteral("; or:") : QStringLiteral(";"), facts.installedRule);
    }
    return advice + QStringLiteral(", or install the receiver's udev rule, which lets the user logged in at the "
                                   "computer open it (%1)")
                            .arg(ReadmeWhere);
}

namespace {

Reason same(const QString &text)
{
    return {text, text};
}

// Windows keeps no permissions on a port, and "access denied" is what it
// says about a port another program holds open.
Reason windowsReason(QSerialPort::SerialPortError error, const QString &errorString)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return {QStringLiteral("no such port"), QStringLiteral("no such port: ") + noPortAdvice(Desktop::Windows)};
    case QSerialPort::PermissionError:
        return {QStringLiteral("in use: another program has it open"),
                QStringLiteral("in use: another program has it open (a serial monitor, the Arduino IDE, the window, "
                               "spiffs-cli); close it and try again")};
    case QSerialPort::OpenError:
        return same(QStringLiteral("busy: it is already open"));
    case QSerialPort::UnsupportedOperationError:
        return same(QStringLiteral("not a serial port"));
    default:
        return same(errorString);
    }
}

// macOS has no groups to join and no udev: a device file closed to this
// user is rare enough to say only who may use it.
QString macPermissionAdvice(const QString &systemLocation)
{
    return QStringLiteral("no permission to use it: ls -l %1 shows who may").arg(systemLocation);
}

Reason busyReason(const std::optional<PortLock> &lock)
{
    const QString brief = QStringLiteral("busy: another program is using it");
    if (lock && lock->running && lock->pid > 0) {
        const QString who = lock->program.isEmpty() ? QStringLiteral("process %1").arg(lock->pid)
                                                    : QStringLiteral("process %1, %2").arg(lock->pid).arg(lock->program);
        return {brief, brief + QStringLiteral(" (%1, by its lock file %2); close it and try again").arg(who, lock->path)};
    }
    return {brief, brief + QStringLiteral(" (a serial monitor, the window, spiffs-cli); close it and try again")};
}

// fuser and lsof find nothing to close: the program is gone, its lock is not.
Reason leftLockReason(const PortLock &lock)
{
    return {QStringLiteral("locked by a program that has ended"),
            QStringLiteral("locked by a program that has ended: the lock file %1 names process %2, which no longer "
                           "runs, and only its owner may remove it (a program run with sudo and killed leaves one); "
                           "remove it with sudo rm %1 and try again")
                    .arg(lock.path)
                    .arg(lock.pid)};
}

} // namespace

Reason failureReason(QSerialPort::SerialPortError error, const QString &errorString, const QString &portName,
                     const PortFacts &facts, Desktop desktop)
{
    if (portName.isEmpty())
        return {QStringLiteral("no port is chosen"), QStringLiteral("no port is chosen: ") + noPortAdvice(desktop)};
    if (desktop == Desktop::Windows)
        return windowsReason(error, errorString);
    if (error == QSerialPort::DeviceNotFoundError || !facts.exists)
        return {QStringLiteral("no such port"), QStringLiteral("no such port: is the receiver plugged in?")};
    if (error == QSerialPort::UnsupportedOperationError || !facts.terminal)
        return same(QStringLiteral("not a serial port"));
    switch (error) {
    case QSerialPort::PermissionError:
        // Qt reports a port held by another program, or locked by one that
        // has ended, as a permission error too; the device file's
        // permissions and the lock file tell them apart.
        if (!facts.mayUse) {
            return {QStringLiteral("no permission to use it"),
                    desktop == Desktop::MacOS ? macPermissionAdvice(facts.location) : permissionAdvice(facts)};
        }
        if (facts.lock && facts.lock->leftInTheWay())
            return leftLockReason(*facts.lock);
        return busyReason(facts.lock);
    case QSerialPort::OpenError:
        return same(QStringLiteral("busy: it is already open"));
    default:
        return same(errorString);
    }
}

Reason failureReason(const QSerialPort &port, const QString &portName)
{
    const PortFacts facts = portName.isEmpty() ? PortFacts() : portFacts(portName);
    return failureReason(port.error(), port.errorString(), portName, facts);
}

Reason accessReason(const QString &portName, PortAccess access)
{
    QSerialPort::SerialPortError error = QSerialPort::PermissionError;
    if (access == PortAccess::Missing)
        error = QSerialPort::DeviceNotFoundError;
    else if (access == PortAccess::NotATerminal)
        error = QSerialPort::UnsupportedOperationError;
    return failureReason(error, QString(), portName, portFacts(portName));
}

} // namespace PortOpening
