#include "cli/session/clisession.h"

#include "cli/output/console.h"
#include "cli/names/devicenames.h"
#include "cli/output/jobprogress.h"
#include "cli/session/portaccess.h"
#include "cli/output/progressmeter.h"

#include "core/devicesession.h"
#include "core/portdiscovery.h"
#include "core/portopening.h"
#include "core/receiverline.h"
#include "core/remaindernote.h"
#include "core/tracewriter.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QEventLoop>
#include <QtCore/QJsonArray>

#include <cmath>

namespace {

constexpr int InterruptPollMs = 50;

// The wait for the rest of a cut reply, told as it goes: a countdown on a
// terminal; elsewhere a note at the start, and one more should the rest's
// time pass with the line still busy.
class RestWait
{
public:
    RestWait(const ReplyRemainder &remainder, CommandOutput &output, bool onTerminal)
        : m_remainder(remainder), m_output(output), m_line(onTerminal), m_startedMs(QDateTime::currentMSecsSinceEpoch())
    {
        m_tick.setInterval(250);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { tell(); });
        m_tick.start();
        tell();
    }
    ~RestWait() { m_line.finish(); }

private:
    void tell()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const QString text = Remainder::waitingText(m_remainder, shownName(m_remainder.name), m_startedMs, now);
        if (m_line.isShown()) {
            m_line.draw(QStringLiteral("spiffs-cli: ") + text);
        } else if (m_said < 2 && (m_said == 0 || Remainder::wireMsLeft(m_remainder, now) == 0)) {
            m_output.note(text);
            m_said += m_remainder.sizeKnown() ? 1 : 2;
        }
    }

    ReplyRemainder m_remainder;
    CommandOutput &m_output;
    ProgressLine m_line;
    qint64 m_startedMs;
    QTimer m_tick;
    int m_said = 0;
};

} // namespace

CliSession::CliSession(const CommandLine &global) : m_global(global)
{
    m_interruptPoll.setInterval(InterruptPollMs);
    connect(&m_interruptPoll, &QTimer::timeout, this, [this] {
        if (!Console::interrupted() || m_interrupted)
            return;
        m_interrupted = true;
        if (m_session)
            m_session->abort();
    });
}

CliSession::~CliSession()
{
    leaveRemainderNote();
    // The session goes before the port it reads; closing the port gives up
    // its lock, so another program may use it at once.
    m_session.reset();
    if (m_port.isOpen())
        m_port.close();
}

void CliSession::beginCommand(CommandOutput &output, bool usesReceiver)
{
    m_output = &output;
    m_receiverUsed = usesReceiver;
    m_listing.reset();
    if (m_session)
        m_session->setTimeout(int(std::ceil(m_global.timeoutSeconds * 1000)));
}

void CliSession::openTrace()
{
    if (m_global.traceFile.isEmpty())
        return;
    m_traceFile.setFileName(m_global.traceFile);
    // Each record goes straight to the file, which then names a failed write's cause.
    if (!m_traceFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        throw CommandFailure(Failure::LocalFile, QStringLiteral("cannot write the trace %1: %2")
                                                         .arg(m_global.traceFile, m_traceFile.errorString()));
    }
    m_trace = std::make_unique<TraceWriter>(&m_traceFile);
    m_trace->writeHeader();
    // As typed, options included, so a report says what was run.
    m_trace->writeProgramComments(QStringLiteral("spiffs-cli"), QStringLiteral(SPIFFS_VERSION),
                                  QCoreApplication::arguments().mid(1));
}

void CliSession::choosePort()
{
    m_portName = m_global.port;
    if (m_portName.isEmpty()) {
        m_portName = qEnvironmentVariable("SPIFFS_PORT");
        m_portFromEnvironment = !m_portName.isEmpty();
    }
    if (!m_portName.isEmpty())
        return;

    const PortChoice choice = choosePortAutomatically(PortDiscovery::systemPorts(), PortDiscovery::portsNamedByUser());
    if (choice.chosen) {
        m_portName = *choice.chosen;
        if (!choice.note.isEmpty())
            m_output->note(choice.note);
        return;
    }
    CommandFailure failure(Failure::Port, choice.problem);
    for (const QString &line : choice.details)
        failure.epilogue += line + QLatin1Char('\n');
    if (!choice.ports.isEmpty())
        m_output->result().insert(QStringLiteral("ports"), QJsonArray::fromStringList(choice.ports));
    throw failure;
}

std::optional<ReplyRemainder> CliSession::takeRemainderNote() const
{
    return RemainderNote::take(m_portName, QDateTime::currentMSecsSinceEpoch());
}

void CliSession::leaveRemainderNote()
{
    if (!m_session || !m_session->remainder())
        return;
    // The next run must not take the rest of a file or a list for its
    // answer; what a short answer leaves behind, its opening settle drops.
    const ReplyRemainder &remainder = *m_session->remainder();
    if (remainder.exchange != Exchange::Download && remainder.exchange != Exchange::Listing)
        return;
    const QString problem = RemainderNote::leave(m_portName, remainder);
    // Without the note the next run would take the rest for its answer:
    // the user must know to wait.
    if (!problem.isEmpty()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        Console::printError(QStringLiteral("cannot leave the next run a note (%1): the receiver is %2; wait for it "
                                           "before the next command")
                                    .arg(problem, Remainder::waitText(remainder, shownName(remainder.name), now)));
    }
}

DeviceSession &CliSession::device()
{
    // A slip of the program's own, never of its user's: a test meets it.
    if (!m_receiverUsed)
        qFatal("spiffs-cli: a command whose row says it does not use the receiver asked for it");
    open();
    return *m_session;
}

void CliSession::open()
{
    if (m_opened)
        return;
    openTrace();
    choosePort();

    // From the moment the port is open, a signal ends the run through the
    // session's own end, which closes the port and so gives up its lock.
    Console::catchInterrupt();
    // As the window opens it.
    m_port.setPortName(m_portName);
    ReceiverLine::applySettings(m_port);
    if (!m_port.open(QIODevice::ReadWrite)) {
        throw CommandFailure(Failure::Port, QStringLiteral("cannot open %1: %2")
                                                    .arg(m_portName, PortOpening::failureReason(m_port, m_portName).full));
    }
    if (m_trace)
        m_trace->startPort(ReceiverLine::description(m_portName));
    m_port.clear(QSerialPort::AllDirections);

    m_session = std::make_unique<DeviceSession>(&m_port);
    // A reply is believed only from a clean line; the window's design reads
    // its replies as they come.
    m_session->setCleanLineCheck(true);
    // A time-out too short to count in milliseconds is still one.
    m_session->setTimeout(int(std::ceil(m_global.timeoutSeconds * 1000)));
    if (m_trace)
        m_trace->follow(&m_port);
    m_interruptPoll.start();
    m_opened = true;

    // The rest of what an earlier run cut short passes first.
    const std::optional<ReplyRemainder> remainder = takeRemainderNote();
    std::optional<RestWait> wait;
    if (remainder)
        wait.emplace(*remainder, *m_output, showsProgress());
    answer(m_session->settle(remainder), QStringLiteral("opening %1").arg(m_portName));
    // Anything after the opening's boot text is the receiver answering.
    connect(&m_port, &QIODevice::readyRead, this, [this] { m_heardFromReceiver = true; });
}

bool CliSession::await(const OwnedReply &reply, ProgressMeter *meter)
{
    if (meter)
        connect(reply.get(), &DeviceReply::progress, reply.get(), [meter](qint64 done, qint64 total) { meter->update(done, total); });
    if (m_interrupted)
        m_session->abort();
    if (!reply->isFinished()) {
        QEventLoop loop;
        connect(reply.get(), &DeviceReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // The meter's line ends before any message about the outcome.
    if (meter)
        meter->finish();
    return reply->error() == DeviceReply::NoError;
}

bool CliSession::await(const OwnedReply &reply, JobProgress &progress)
{
    connect(reply.get(), &DeviceReply::progress, reply.get(), [&progress](qint64 done, qint64) { progress.update(done); });
    const bool done = await(reply);
    // The progress line ends before any message about the outcome.
    if (!done)
        progress.finish();
    return done;
}

OwnedReply CliSession::answer(DeviceReply *request, const QString &subject, ProgressMeter *meter)
{
    OwnedReply reply(request);
    if (!await(reply, meter))
        throw failure(*reply, subject);
    return reply;
}

OwnedReply CliSession::answer(DeviceReply *request, const QString &subject, JobProgress &progress)
{
    OwnedReply reply(request);
    if (!await(reply, progress))
        throw failure(*reply, subject);
    return reply;
}

void CliSession::stop()
{
    if (m_session)
        m_session->abort();
}

std::optional<CommandFailure> CliSession::traceFailure()
{
    if (!m_trace || m_trace->isWriting() || m_traceFailureSaid)
        return std::nullopt;
    m_traceFailureSaid = true;
    return CommandFailure(Failure::LocalFile, QStringLiteral("cannot write the trace %1: %2; it ends there")
                                                      .arg(m_global.traceFile, m_trace->failure()));
}

bool CliSession::showsProgress() const
{
    return !m_global.quiet && Console::isTerminal(stderr);
}

CommandFailure CliSession::interruption()
{
    const bool terminated = Console::terminated();
    return CommandFailure(terminated ? Failure::Terminated : Failure::Interrupted,
                          terminated ? QStringLiteral("terminated") : QStringLiteral("interrupted"));
}

namespace {

Failure failureOf(const DeviceReply &reply)
{
    switch (reply.error()) {
    case DeviceReply::NoError:
    case DeviceReply::BadReplyError:
        return Failure::BadReply;
    case DeviceReply::RefusedError:
        return Failure::Refused;
    case DeviceReply::TimeoutError:
        return Failure::NoAnswer;
    case DeviceReply::LineLostError:
        return Failure::LineLost;
    case DeviceReply::AbortedError:
        return Console::terminated() ? Failure::Terminated : Failure::Interrupted;
    }
    return Failure::BadReply;
}

// How far a transfer cut short had got, and what the receiver may hold.
QString whereItStopped(const DeviceReply &reply)
{
    const DeviceReply::Error error = reply.error();
    const bool cutShort = error == DeviceReply::TimeoutError || error == DeviceReply::LineLostError
                          || error == DeviceReply::AbortedError;
    if (cutShort && reply.exchange() == Exchange::Download) {
        return reply.bytesTotal() > 0 ? QStringLiteral("; %1 of %2 bytes had arrived").arg(reply.bytesDone()).arg(reply.bytesTotal())
                                      : QStringLiteral("; no byte of it had arrived");
    }
    if (reply.exchange() == Exchange::Upload && (cutShort || reply.bytesDone() > 0)) {
        return QStringLiteral("; %1 of %2 bytes had been taken; the receiver may now hold a partial file named %3")
                .arg(reply.bytesDone())
                .arg(reply.bytesTotal())
                .arg(shownName(reply.deviceName()));
    }
    return QString();
}

} // namespace

CommandFailure CliSession::failure(const DeviceReply &reply, const QString &subject) const
{
    const Failure kind = failureOf(reply);
    QString message = subject + QStringLiteral(": ");
    if (reply.error() == DeviceReply::AbortedError)
        message += kind == Failure::Terminated ? QStringLiteral("terminated") : QStringLiteral("interrupted");
    else
        message += reply.errorString();
    CommandFailure failure(kind, message + whereItStopped(reply));

    // Silence from the very first request is most often the wrong port.
    if (reply.error() == DeviceReply::TimeoutError && !m_heardFromReceiver) {
        const QString source = m_portFromEnvironment ? QStringLiteral(" (from SPIFFS_PORT)") : QString();
        failure.warnings << QStringLiteral("nothing came back from %1%2. Is it the receiver's port? spiffs-cli ports "
                                           "lists them. Is the receiver on, and not in use by another program (the "
                                           "window, a serial monitor)? --trace FILE records what crossed the line.")
                                    .arg(m_portName, source);
    }
    return failure;
}

CatalogueFormat::MemoryFigures CliSession::memoryReport(const QString &subject)
{
    return answer(device().requestMemoryReport(), subject)->memory();
}

CliSession::Holdings CliSession::memoryAndListing(const QString &subject)
{
    const CatalogueFormat::MemoryFigures memory = memoryReport(subject);
    m_listing = answer(device().requestListing(), subject)->entries();
    return Holdings{memory, *m_listing};
}

QVector<CatalogueFormat::ListingEntry> CliSession::listing(const QString &subject)
{
    if (!m_listing)
        m_listing = answer(device().requestListing(), subject)->entries();
    return *m_listing;
}

std::optional<CatalogueFormat::ListingEntry> CliSession::oneListedFileIfAny(const QString &command, const QString &argument)
{
    const QVector<CatalogueFormat::ListingEntry> selected = DeviceNames::select(command, argument, listing(command));
    if (selected.size() > 1) {
        throw CommandFailure(Failure::Usage, QStringLiteral("%1: %2 stands for %3 files; %1 takes one")
                                                     .arg(command, argument, QString::number(selected.size())));
    }
    if (selected.isEmpty())
        return std::nullopt;
    return selected.constFirst();
}

CatalogueFormat::ListingEntry CliSession::oneListedFile(const QString &command, const QString &argument)
{
    const std::optional<CatalogueFormat::ListingEntry> file = oneListedFileIfAny(command, argument);
    if (!file)
        throw CommandFailure(Failure::NoSuchFile, QStringLiteral("%1: no such file: %2").arg(command, argument));
    return *file;
}
