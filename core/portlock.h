// The lock file Qt's serial port takes beside the device (LCK..ttyUSB0 in
// the system's lock folder) and gives up when it closes the port. A program
// killed with the port open leaves it behind; Qt clears such a lock by
// itself only when this user may remove the file, so one left by a program
// run with sudo refuses the port to everybody else until it is removed.
// Qt Core only.
#ifndef PORTLOCK_H
#define PORTLOCK_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <optional>

struct PortLock
{
    QString path;       // the lock file
    qint64 pid = 0;     // the process it names; 0 when it names none
    bool running = false;
    QString program;    // that process's name, when the system tells it
    bool removable = false; // this user may remove it, as Qt does with a lock whose process has ended

    // What the lock means for opening the port: held by a running program,
    // or left by one that ended and in the way.
    bool holdsPort() const { return running; }
    bool leftInTheWay() const { return !running && !removable; }
};

namespace PortLocks {

// The folders Qt looks in for a serial port's lock, in its order; it uses
// the first that holds the lock or that it may write in.
QStringList lockFolders();

// The lock file of the port whose device file is systemLocation, as Qt
// names it: "/dev/" dropped, every "/" made "_", after "LCK..".
QString lockFileName(const QString &systemLocation);

// Where Qt keeps the lock of that device file: in the first folder that
// holds it, else the first it may write in. Empty where none is.
QString lockPath(const QString &systemLocation, const QStringList &folders = lockFolders());

// The lock on the device file, if one is there; never one on Windows,
// where the system itself keeps a port to one program.
std::optional<PortLock> find(const QString &systemLocation, const QStringList &folders = lockFolders());

// Reads a lock file: its first line is the process's id.
std::optional<PortLock> read(const QString &path);

} // namespace PortLocks

#endif // PORTLOCK_H
