// A pseudo-terminal pair in raw mode (8 bits, no echo, no line editing, no
// translation of line ends), the way every side of the emulator and the
// tests wants one: the receiver's end is the master, the program opens the
// slave's path as its serial port.
#ifndef RAWPTY_H
#define RAWPTY_H

#include <QtCore/QString>

struct RawPty
{
    int master = -1;
    int slave = -1;
    QString slavePath;
    QString error; // why it could not be opened; empty when it was

    bool isOpen() const { return master >= 0; }
};

enum class MasterMode { NonBlocking, Blocking };

// Opens a pair at 115200 baud with the modem lines ignored; both ends are
// close-on-exec. The caller owns (and closes) the two descriptors.
RawPty openRawPty(MasterMode mode = MasterMode::NonBlocking);

#endif // RAWPTY_H
