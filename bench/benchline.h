// The emulated receiver served on a pseudo-terminal from a plain thread of
// its own, with a clock to the microsecond.
//
// EmulatorHost runs the same engine from a Qt event loop, on time as well,
// but shares its thread with whatever else runs there and writes long paced
// replies in batches. This host has a thread of its own (pinned, see
// affinity.h): it sleeps in ppoll() until shortly before the time the engine
// names (timer slack 1 ns) and spins the last 200 us, as a device's UART
// answers on time.
//
// It also notes when the device side first read and first and last wrote
// bytes since the marks were reset, on the steady clock, so a benchmark can
// time an exchange from the line's point of view.
#ifndef BENCHLINE_H
#define BENCHLINE_H

#include "deviceengine.h"
#include "engineoptions.h"

#include <QtCore/QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class BenchLine
{
public:
    explicit BenchLine(const EngineOptions &options);
    ~BenchLine();
    BenchLine(const BenchLine &) = delete;
    BenchLine &operator=(const BenchLine &) = delete;

    // Opens the pseudo-terminal and starts the thread. Before this the
    // engine (its store) may be set up from the calling thread.
    bool start();
    QString portName() const { return m_portName; }
    DeviceEngine &engineBeforeStart() { return m_engine; }

    // Runs action on the line's thread and waits for it.
    void onLineThread(const std::function<void(DeviceEngine &)> &action);

    struct Marks
    {
        qint64 firstReadNs = 0;
        qint64 firstWriteNs = 0; // when the first write began
        qint64 lastWriteNs = 0;  // when the latest write returned
        qint64 bytesRead = 0;
        qint64 bytesWritten = 0;
        // How late the line wrote what the engine had due at a given time.
        qint64 latenessNs = 0;
        qint64 latenessCount = 0;
        // From a write of the device to its next read: the other side's
        // answer time, the pseudo-terminal's two hops included.
        qint64 turnaroundNs = 0;
        qint64 turnaroundCount = 0;
    };
    void resetMarks();
    Marks marks() const;

private:
    void run();
    void wake();
    qint64 engineNowUs() const;

    DeviceEngine m_engine;
    QString m_portName;
    int m_master = -1;
    int m_slave = -1;
    int m_wakeFd = -1;
    qint64 m_startNs = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    std::mutex m_tasksLock;
    std::condition_variable m_tasksDone;
    std::vector<std::function<void(DeviceEngine &)>> m_tasks;
    quint64 m_tasksQueued = 0;
    quint64 m_tasksRun = 0;

    std::atomic<qint64> m_firstReadNs{0};
    std::atomic<qint64> m_firstWriteNs{0};
    std::atomic<qint64> m_lastWriteNs{0};
    std::atomic<qint64> m_bytesRead{0};
    std::atomic<qint64> m_bytesWritten{0};
    std::atomic<qint64> m_latenessNs{0};
    std::atomic<qint64> m_latenessCount{0};
    std::atomic<qint64> m_turnaroundNs{0};
    std::atomic<qint64> m_turnaroundCount{0};
};

#endif // BENCHLINE_H
