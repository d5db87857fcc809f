// Why a serial port does not open, and what to do about it, in words both
// front ends show: the window after "ESP32: can't use the port", spiffs-cli
// after "cannot open PORT: ".
//
// Opening a real ESP32 board's port can restart it (its USB adapter drives
// the reset line), so on Unix access is judged from the device file's
// existence and permissions, never by opening it. Windows keeps no such
// permissions: there the check opens the port and closes it at once.
// Qt Core and SerialPort only.
#ifndef PORTOPENING_H
#define PORTOPENING_H

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtSerialPort/QSerialPort>

enum class PortAccess { Usable, Missing, NoPermission, Busy };

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

// Without permission to use the device file: who may, and what to do. With
// the rule installed, joining a group is not needed: the rule applies to a
// receiver plugged in after it was installed, and to the user logged in at
// the computer.
QString permissionAdvice(const QString &systemLocation, const QString &installedRule);

// Why opening portName failed with error (errorString as the port gave it),
// followed by the next step.
QString failureReason(QSerialPort::SerialPortError error, const QString &errorString, const QString &portName,
                      const QStringList &ruleFolders = udevRuleFolders(), Desktop desktop = thisDesktop());
QString failureReason(const QSerialPort &port, const QString &portName);

} // namespace PortOpening

#endif // PORTOPENING_H
