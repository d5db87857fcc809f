// What every spiffs-cli command that talks to the receiver shares: the port
// (chosen, opened once for the whole run, settled), the trace, the
// DeviceSession on it, Ctrl-C and SIGTERM, waiting for a reply with or
// without a progress line, and saying why an exchange failed.
#ifndef CLISESSION_H
#define CLISESSION_H

#include "commandline.h"
#include "commandoutput.h"

#include "core/catalogueformat.h"
#include "core/replyremainder.h"

#include <QtCore/QFile>
#include <QtCore/QObject>
#include <QtCore/QStringList>
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
    // global holds the options that apply to the whole run.
    explicit CliSession(const CommandLine &global);
    ~CliSession() override;

    // The command about to run: its failures are reported through output,
    // and the time-out is the run's again.
    void beginCommand(CommandOutput &output);
    CommandOutput &output() { return *m_output; }

    // Chooses the port, opens it with the trace, and waits for the line to
    // settle, and for the rest of a reply an earlier run left on the way
    // (RemainderNote), said on standard error; once per run. ExitDone, or
    // the exit status of a failure already reported.
    int open();
    DeviceSession &device() { return *m_session; }
    const QString &portName() const { return m_portName; }

    // Runs the event loop until reply has finished; true when it went well.
    bool await(DeviceReply *reply, ProgressMeter *meter = nullptr);
    // The same, with a job's progress line following the reply's bytes.
    bool await(DeviceReply *reply, JobProgress &progress);
    // Reports reply's failure after subject and returns its exit status.
    int failure(DeviceReply *reply, const QString &subject);
    // Stops the running exchange, as Ctrl-C does, without calling it a
    // failure: the reader of standard output went away.
    void stop();

    // The memory report, then the listing, as the jobs begin; on failure
    // the exit status is in status.
    struct Holdings
    {
        CatalogueFormat::MemoryFigures memory;
        QVector<CatalogueFormat::ListingEntry> entries;
    };
    std::optional<Holdings> memoryAndListing(const QString &subject, int *status);
    // The listing alone, asked once and kept for the rest of the command.
    std::optional<QVector<CatalogueFormat::ListingEntry>> listing(const QString &subject, int *status);
    void forgetListing() { m_listing.reset(); }

    bool showsProgress() const;
    bool interrupted() const { return m_interrupted; }
    // Ends a command that was interrupted outside an exchange.
    int interruption();

private:
    int openTrace();
    int choosePort();
    std::optional<ReplyRemainder> takeRemainderNote() const;
    // A download or listing cut short leaves its rest for the next run.
    void leaveRemainderNote();
    Failure failureOf(DeviceReply *reply) const;

    const CommandLine &m_global;
    CommandOutput *m_output = nullptr;
    QString m_portName;
    bool m_portFromEnvironment = false;
    bool m_opened = false;
    QSerialPort m_port;
    QFile m_traceFile;
    std::unique_ptr<TraceWriter> m_trace;
    std::unique_ptr<DeviceSession> m_session;
    QTimer m_interruptPoll;
    bool m_interrupted = false;
    bool m_heardFromReceiver = false;
    std::optional<QVector<CatalogueFormat::ListingEntry>> m_listing;
};

// What a command's function is given.
struct CommandContext
{
    const CommandLine &line;
    CliSession &session;
    CommandOutput &output;
};

// The one listed file argument stands for (see DeviceNames::select), the
// listing asked when the command has none yet. When it stands for none or
// several, that is reported and its status put in status; with
// noneIsFailure false, none is no failure (status stays ExitDone).
std::optional<CatalogueFormat::ListingEntry> oneListedFile(const CommandContext &context, const QString &argument,
                                                           int *status, bool noneIsFailure = true);

// What a command would erase, for the question before it and the refusal.
struct Erasure
{
    QString question;    // asked on a terminal: "Remove 3 files from the receiver (...)?"
    QString summary;     // the refusal's start: "rm: 3 files would be removed: a.txt, ..."
    QString nothingDone; // "nothing removed"
    QStringList names;   // what would go, for --json; empty when it is everything
};

// Erasing needs --yes or a terminal to ask on: scripts never erase unasked.
// ExitDone when the command may go ahead (or ask), else the status of the
// refusal, already said with what would go and the flag to add.
int refuseUnconfirmed(const CommandContext &context, const Erasure &erasure);

// Before erasing: asks on a terminal (y or yes goes ahead) unless --yes
// was given; without a terminal, refuseUnconfirmed(). ExitDone to go ahead,
// else the status of the refusal, already said.
int confirmErasure(const CommandContext &context, const Erasure &erasure);

#endif // CLISESSION_H
