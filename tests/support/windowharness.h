// A real MainWindow whose port list holds a pseudo-terminal played by the
// test, with a helper that answers its modal boxes.
#ifndef WINDOWHARNESS_H
#define WINDOWHARNESS_H

#include "devicebytes.h"
#include "ptydevice.h"
#include "windowdriver.h"

#include <QtCore/QByteArray>
#include <QtCore/QVector>

class WindowHarness : public WindowDriver
{
public:
    WindowHarness();
    ~WindowHarness();

    PtyDevice device;

    // Clicks Connect; true when the memory request came out.
    bool connectToDevice();
    // Answers the memory request; true when the listing request follows.
    bool answerMemory(quint32 total, quint32 used);
    // Connects and answers memory and listing: the window ends idle.
    bool connectWithFiles(const QVector<DeviceBytes::FileEntry> &files, quint32 total = 1000000,
                          quint32 used = 0);
};

#endif // WINDOWHARNESS_H
