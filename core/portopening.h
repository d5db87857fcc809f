// Why a serial port does not open, and what to do about it, in words both
// front ends show: the window after "ESP32: can't use the port", spiffs-cli
// after "cannot open PORT: ".
//
// Opening a real ESP32 board's port can restart it (its USB adapter drives
// the reset line), so on Unix access is judged from the device file's
// existence and permissions and from Qt's lock file, never by opening it.
// Windows keeps no such permissions: there the check opens the port and
// closes it at once. What the system says about a port is gathered once, as
// plain values (PortFacts), and the words are made from those, so a test
// can describe any desktop's port on any host.
// Qt Core and SerialPort only.
#ifndef PORTOPENING_H
#define PORTOPENING_H

#include "core/portlock.h"

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtSerialPort/QSerialPort>

#include <optional>

// LeftLocked: a lock file names a program that has ended, and this user may
// not remove it.
enum class PortAccess { Usable, Missing, NoPermission, Busy, LeftLocked, NotATerminal };

PortAccess checkAccess(const QString &portName);

namespace PortOpening {

// The desktops whose words differ. Windows has no device files, no groups
// and no udev, and says "access denied" for a port another program holds;
// macOS has device files but no groups to join and no udev.
enum class Desktop { Linux, Windows, MacOS };
Desktop thisDesktop();

// The system lists no serial port at all: what to check on desktop.
QString noPortAdvice(Desktop desktop = thisDesktop());

// The name the package installs the receiver's udev rule under.
inline constexpr char UdevRuleName[] = "70-spiffs-manager.rules";
// Where udev reads rules: the administrator's folder and the packages' two.
QStringList udevRuleFolders();
// The receiver's rule in one of folders, or empty when none holds it.
QString installedUdevRule(const QStringList &folders = udevRuleFolders());

// What advice fits a port: the udev rule covers only the receiver's known
// USB bridges, and only a USB port can be unplugged and plugged in again.
enum class PortKind {
    ReceiverBridge, // a known ESP32 bridge (USB ids)
    OtherUsb,       // USB, of another make or of none the system named
    BuiltIn,        // on the computer's board (ttyS0, ttyAMA0)
    Virtual,        // a pseudo-terminal or anything else
};

// What the system says about a port, as plain values.
struct PortFacts
{
    QString location; // the device file
    bool exists = true;
    bool terminal = true; // a character device, as every serial port is
    bool mayUse = true;   // readable and writable by this user
    QString group;        // the device file's group
    PortKind kind = PortKind::Virtual;
    QString installedRule; // the receiver's udev rule, where installed
    std::optional<PortLock> lock;
};

// Gathered from this system for portName, without opening it.
PortFacts portFacts(const QString &portName, const QStringList &ruleFolders = udevRuleFolders());
// By the ids the system lists for location (usbIds: vendor, product), else
// by its name.
PortKind kindOf(const QString &location, const std::optional<std::pair<quint16, quint16>> &usbIds);
// Whether the port would open, as the facts tell it (Unix).
PortAccess accessFrom(const PortFacts &facts);

// A reason in two lengths: brief fits a status bar after the port's name;
// full says the next step too.
struct Reason
{
    QString brief;
    QString full;
};

// Without permission to use the device file: who may, and what to do. The
// group fits every port; the receiver's udev rule only its bridge, and when
// the rule is installed already it applies to a bridge plugged in after it
// was, and to the user logged in at the computer.
QString permissionAdvice(const PortFacts &facts);

// Why opening portName failed with error (errorString as the port gave it),
// followed by the next step.
Reason failureReason(QSerialPort::SerialPortError error, const QString &errorString, const QString &portName,
                     const PortFacts &facts, Desktop desktop = thisDesktop());
Reason failureReason(const QSerialPort &port, const QString &portName);
// What opening would say of a port whose access is not Usable, for a list
// of ports; access is checkAccess's.
Reason accessReason(const QString &portName, PortAccess access);

} // namespace PortOpening

#endif // PORTOPENING_H
