// What every spiffs-cli command that talks to the receiver shares: the port
// (chosen, opened once, settled), the trace, the DeviceSession on it, Ctrl-C,
// waiting for a reply with or without a progress line, and saying why an
// exchange failed in words and in the exit status.
#ifndef CLISESSION_H
#define CLISESSION_H

#include "commandline.h"

#include "core/catalogueformat.h"

#include <QtCore/QFile>
#include <QtCore/QObject>
#include <QtCore/QTimer>
#include <QtCore/QVector>
#include <QtSerialPort/QSerialPort>

#include <memory>
#include <optional>

class DeviceReply;
class DeviceSession;
class JobProgress;
class ProgressMeter;
class TraceWriter;

class CliSession : public QObject
{
    Q_OBJECT

public:
    explicit CliSession(const CommandLine &line);
    ~CliSession() override;

    // Chooses the port, opens it with the trace, and waits for the line to
    // settle. ExitDone, or the exit status of a failure already reported.
    int open();
    DeviceSession &device() { return *m_session; }
    const QString &portName() const { return m_portName; }

    // Runs the event loop until reply has finished; true when it went well.
    bool await(DeviceReply *reply, ProgressMeter *meter = nullptr);
    // The same, with a job's progress line following the reply's bytes.
    bool await(DeviceReply *reply, JobProgress &progress);
    // Reports reply's failure after subject and returns its exit status.
    int failure(DeviceReply *reply, const QString &subject);

    // The memory report, then the listing, as the jobs begin; on failure
    // the exit status is in status.
    struct Holdings
    {
        CatalogueFormat::MemoryFigures memory;
        QVector<CatalogueFormat::ListingEntry> entries;
    };
    std::optional<Holdings> memoryAndListing(const QString &subject, int *status);

    bool showsProgress() const;
    bool interrupted() const { return m_interrupted; }

private:
    int openTrace();
    int choosePort();

    const CommandLine &m_line;
    QString m_portName;
    QSerialPort m_port;
    QFile m_traceFile;
    std::unique_ptr<TraceWriter> m_trace;
    std::unique_ptr<DeviceSession> m_session;
    QTimer m_interruptPoll;
    bool m_interrupted = false;
};

// What a command's function is given.
struct CommandContext
{
    const CommandLine &line;
    CliSession &session;
};

#endif // CLISESSION_H
