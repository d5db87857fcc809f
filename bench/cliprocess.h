// spiffs-cli as a process against spiffs-emulator as a process, timed from
// outside both, so neither program is changed or slowed by the measurement.
//
// The times come from inotify on the port's path (the pseudo-terminal's
// slave): the kernel raises IN_OPEN when the command line opens it,
// IN_MODIFY for each of its write(2) calls and IN_ACCESS for each read that
// returned bytes; and on a folder, IN_CREATE when a name is made (QSaveFile
// links its finished, synced temporary file to the name when there was no
// file of that name), IN_MOVED_TO when a file is renamed into place
// (QSaveFile replacing a file) or IN_CLOSE_WRITE when it is closed after
// writing; the last of them counts. The
// emulator writes and reads the master side, which has another inode, so
// only the command line's own I/O is seen. The calling thread waits in
// poll() on the inotify descriptor and a pidfd of the process and notes the
// steady clock as each batch of events comes in: within tens of
// microseconds of the event.
//
// Every event wakes the calling thread; a command that reads the port byte
// by byte would wake it thousands of times a second while it is measured.
// So reads are watched only on request, and the port may be watched for a
// given number of writes only (the request that starts the measured
// exchange), after which its watch is removed.
//
// Reused by every benchmark of the command line (get, put, and any command
// that moves files): start an EmulatorProcess on a store, then runCli() as
// many times as needed. For instance, a whole-receiver copy into a folder:
//
//   EmulatorProcess device;
//   device.start(EMULATOR_PATH, storeFolder, {"--baud", "115200"}, Affinity::deviceCpu());
//   CliRun run;
//   run.program = CLI_PATH;
//   run.port = device.portName();
//   run.arguments = {"-q", "backup", folder};
//   run.watchedFolder = folder;  // savedNs: when each file landed
//   run.portWritesWatched = 1;   // writeNs[0]: the first request on the line
//   const CliTimings t = runCli(run);
//   // t.exitNs - t.writeNs[0], t.savedNs, t.exitCode, t.standardError ...
#ifndef CLIPROCESS_H
#define CLIPROCESS_H

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>
#include <QtCore/QVector>

#include <memory>
#include <sys/types.h>

// spiffs-emulator as a process, serving a copy of a store folder with
// --dir. The copy is on tmpfs (/dev/shm) when there is one, so the
// emulator's write of an uploaded file (QSaveFile, with its disk sync) costs
// what a receiver's RAM would, not what this machine's disk does.
class EmulatorProcess
{
public:
    EmulatorProcess() = default;
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess &) = delete;
    EmulatorProcess &operator=(const EmulatorProcess &) = delete;

    // Copies the files of storeSource (nothing when empty) into a fresh
    // folder and starts program --dir COPY followed by arguments, on CPU cpu
    // alone unless it is -1. True once the emulator has printed its port.
    bool start(const QString &program, const QString &storeSource, const QStringList &arguments, int cpu = -1);
    // SIGTERM, then SIGKILL after 5 s.
    void stop();

    QString portName() const { return m_portName; }
    QString storeFolder() const;
    QString errorString() const { return m_error; }
    // What it wrote to standard error so far.
    QByteArray log() const;

private:
    pid_t m_pid = -1;
    int m_stdout = -1; // a pipe: the port comes on its first line
    int m_stderr = -1; // a memfd
    std::unique_ptr<QTemporaryDir> m_store;
    QString m_portName;
    QString m_error;
};

struct CliRun
{
    QString program;              // spiffs-cli
    QString port;                 // passed as -p PORT before the arguments
    QStringList arguments;        // options and the command, e.g. {"-q", "get", "a.bin", "-o", DIR}
    QString workingFolder;        // empty: the caller's
    QString watchedFolder;        // files appearing here are timed; empty: none
    int portWritesWatched = -1;   // stop watching the port after this many writes; -1: never
    bool watchPortReads = false;  // every read of the port is an event: for short exchanges only
    int timeoutMs = 120000;       // then the process is killed
    bool sampleMemory = false;    // its peak resident memory, read every 2 ms
};

struct CliTimings
{
    bool finished = false;         // exited on its own within the time-out
    int exitCode = -1;
    qint64 startNs = 0;            // steady clock just before the process was spawned
    qint64 openedNs = 0;           // it opened the port (0: not seen)
    QVector<qint64> writeNs;       // its writes to the port, in order
    qint64 firstReadNs = 0;        // its first and last read of the port (watchPortReads)
    qint64 lastReadNs = 0;
    qint64 exitNs = 0;             // its exit seen
    qint64 peakKiB = 0;            // its peak resident memory, when sampled
    QHash<QString, qint64> savedNs; // file name in watchedFolder: its last IN_CREATE, IN_MOVED_TO or IN_CLOSE_WRITE
    QByteArray standardOutput;
    QByteArray standardError;
    QString error;                 // why it could not be run; empty when it ran
};

// Runs the command line once and waits for it to exit.
CliTimings runCli(const CliRun &run);

#endif // CLIPROCESS_H
