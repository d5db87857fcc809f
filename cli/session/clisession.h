// What every spiffs-cli command that talks to the receiver shares: the port
// (chosen, opened once for the whole run, settled), the trace, the
// DeviceSession on it, Ctrl-C and SIGTERM, waiting for a reply with or
// without a progress line, and saying why an exchange failed.
#ifndef CLISESSION_H
#define CLISESSION_H

#include "cli/line/commandline.h"
#include "cli/output/commandoutput.h"

#include "core/catalogueformat.h"
#include "core/devicereply.h"
#include "core/replyremainder.h"

#include <QtCore/QFile>
#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtCore/QTimer>
#include <QtCore/QVector>
#include <QtSerialPort/QSerialPort>

#include <memory>
#include <optional>

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

    // The command about to run: its notes go through output, the time-out
    // is the run's again, and it reaches the receiver only when its row says
    // it uses it.
    void beginCommand(CommandOutput &output, bool usesReceiver);

    // The receiver, on a line opened for it: the first use in a run chooses
    // the port, opens it with the trace, and waits for the line to settle,
    // and for the rest of a reply an earlier run left on the way
    // (RemainderNote), said on standard error; it throws the failure when it
    // cannot. So the port opens once for a chain, when the first command
    // that uses the receiver first needs it, after that command's own local
    // checks; a command whose row says it does not use it never opens it.
    DeviceSession &device();
    const QString &portName() const { return m_portName; }

    // Runs the event loop until request's reply has finished, a progress
    // line following its bytes. The reply, when it went well; else throws
    // its failure, said after subject.
    OwnedReply answer(DeviceReply *request, const QString &subject, ProgressMeter *meter = nullptr);
    OwnedReply answer(DeviceReply *request, const QString &subject, JobProgress &progress);
    // The same for a caller that reads a failed reply itself: true when it
    // went well.
    bool await(const OwnedReply &reply, ProgressMeter *meter = nullptr);
    bool await(const OwnedReply &reply, JobProgress &progress);
    // Why reply failed, said after subject.
    CommandFailure failure(const DeviceReply &reply, const QString &subject) const;
    // Stops the running exchange, as Ctrl-C does, without calling it a
    // failure: the reader of standard output went away.
    void stop();

    // The memory report, asked now.
    CatalogueFormat::MemoryFigures memoryReport(const QString &subject);
    // The memory report, then the listing, as the jobs begin.
    struct Holdings
    {
        CatalogueFormat::MemoryFigures memory;
        QVector<CatalogueFormat::ListingEntry> entries;
    };
    Holdings memoryAndListing(const QString &subject);
    // The listing alone, asked once and kept for the rest of the command.
    QVector<CatalogueFormat::ListingEntry> listing(const QString &subject);
    // The one listed file argument stands for (DeviceNames::select), a
    // failure of command when it stands for several, or for none; or none,
    // when that is allowed.
    CatalogueFormat::ListingEntry oneListedFile(const QString &command, const QString &argument);
    std::optional<CatalogueFormat::ListingEntry> oneListedFileIfAny(const QString &command, const QString &argument);

    // The trace could be written no further during the command that ran
    // last: that command's failure, said once.
    std::optional<CommandFailure> traceFailure();

    bool showsProgress() const;
    bool interrupted() const { return m_interrupted; }
    // Ends a command that was interrupted outside an exchange.
    static CommandFailure interruption();

private:
    void open();
    void openTrace();
    void choosePort();
    std::optional<ReplyRemainder> takeRemainderNote() const;
    // A download or listing cut short leaves its rest for the next run.
    void leaveRemainderNote();

    const CommandLine &m_global;
    CommandOutput *m_output = nullptr;
    QString m_portName;
    bool m_portFromEnvironment = false;
    bool m_opened = false;
    bool m_receiverUsed = false; // by the command that runs: its row says so
    QSerialPort m_port;
    QFile m_traceFile;
    std::unique_ptr<TraceWriter> m_trace;
    std::unique_ptr<DeviceSession> m_session;
    QTimer m_interruptPoll;
    bool m_interrupted = false;
    bool m_heardFromReceiver = false;
    bool m_traceFailureSaid = false;
    std::optional<QVector<CatalogueFormat::ListingEntry>> m_listing;
};

// What a command's function is given.
struct CommandContext
{
    const CommandLine &line;
    CliSession &session;
    CommandOutput &output;
};

#endif // CLISESSION_H
