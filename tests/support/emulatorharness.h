// A real MainWindow whose port list holds the pseudo-terminal of an
// EmulatorHost: the program talks to the emulated receiver through a real
// QSerialPort, in the same thread and event loop as the test.
#ifndef EMULATORHARNESS_H
#define EMULATORHARNESS_H

#include "emulatorhost.h"
#include "engineoptions.h"
#include "windowdriver.h"

#include <QtCore/QStringList>

#include <functional>
#include <memory>

class QThread;

class EmulatorHarness : public WindowDriver
{
public:
    // The host is started at once; files put into host.engine().store()
    // before connecting are what the receiver holds.
    explicit EmulatorHarness(const EngineOptions &options = EngineOptions());
    ~EmulatorHarness();
    EmulatorHarness(const EmulatorHarness &) = delete;
    EmulatorHarness &operator=(const EmulatorHarness &) = delete;

    EmulatorHost host;

    bool isValid() const { return m_started; }
    // From now on the host runs on a thread of its own, as in a benchmark.
    // Its engine then belongs to that thread: look at it only through
    // QMetaObject::invokeMethod.
    void runHostOnOwnThread();
    DeviceEngine &engine() { return host.engine(); }
    DeviceStore &store() { return host.engine().store(); }

    // Picks the emulator's port and clicks Connect.
    void clickConnect();
    // Clicks Connect and waits until the memory report and the listing are
    // in and the program is idle.
    bool connectAndWait(int timeoutMs = 10000);
    // Waits until the program has no operation in progress.
    bool waitUntilIdle(int timeoutMs = 10000);
    // Runs the event loop until done() holds. Unlike QTest::qWaitFor, which
    // sleeps 10 ms between rounds, it wakes for every event, so a reply cut
    // into thousands of pieces is not slowed down by the waiting itself.
    static bool waitFor(const std::function<bool()> &done, int timeoutMs = 10000);
    // The device plugged in again after a hang-up: a new port, found by Scan
    // and picked in the list.
    bool replugAndRescan();

    // Selects name, picks folder in the dialog, presses Download and waits
    // until the program is idle again.
    bool download(const QString &name, const QString &folder, int timeoutMs = 60000);
    // Picks path in the dialog, presses Upload and waits until the refresh
    // after it is done.
    bool upload(const QString &path, int timeoutMs = 60000);
    // Bytes the device sends in answer to a connect: the memory report and
    // the listing of the store as it is now.
    qint64 connectReplySize();

private:
    bool m_started = false;
    std::unique_ptr<QThread> m_hostThread;
};

#endif // EMULATORHARNESS_H
