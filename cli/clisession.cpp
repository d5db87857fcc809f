#include "clisession.h"

#include "clitext.h"
#include "console.h"
#include "jobprogress.h"
#include "portaccess.h"
#include "progressmeter.h"

#include "core/devicesession.h"
#include "core/portdiscovery.h"
#include "core/receiverline.h"
#include "core/tracewriter.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QEventLoop>
#include <QtSerialPort/QSerialPortInfo>

#include <cmath>

namespace {
constexpr int InterruptPollMs = 50;
} // namespace

CliSession::CliSession(const CommandLine &line) : m_line(line)
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
    // The session goes before the port it reads.
    m_session.reset();
    if (m_port.isOpen())
        m_port.close();
}

int CliSession::openTrace()
{
    if (m_line.traceFile.isEmpty())
        return ExitDone;
    m_traceFile.setFileName(m_line.traceFile);
    if (!m_traceFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Console::printError(QStringLiteral("cannot write the trace %1: %2").arg(m_line.traceFile, m_traceFile.errorString()));
        return ExitUsage;
    }
    m_trace = std::make_unique<TraceWriter>(&m_traceFile);
    m_trace->writeHeader();
    m_trace->writeComment(QStringLiteral("spiffs-cli %1, %2")
                                  .arg(QStringLiteral(SPIFFS_VERSION),
                                       QDateTime::currentDateTime().toString(Qt::ISODateWithMs)));
    // As typed, options included, so a report says what was run.
    m_trace->writeComment(QStringLiteral("command: spiffs-cli %1").arg(QCoreApplication::arguments().mid(1).join(QLatin1Char(' '))));
    return ExitDone;
}

int CliSession::choosePort()
{
    m_portName = m_line.port;
    if (m_portName.isEmpty())
        m_portName = qEnvironmentVariable("SPIFFS_PORT");
    if (!m_portName.isEmpty())
        return ExitDone;

    const QList<QSerialPortInfo> systemPorts = QSerialPortInfo::availablePorts();
    const QStringList candidates = PortDiscovery::receiverCandidates(systemPorts, PortDiscovery::portsNamedByUser());
    if (candidates.size() == 1) {
        m_portName = candidates.constFirst();
        return ExitDone;
    }
    if (candidates.isEmpty()) {
        QStringList seen;
        for (const QSerialPortInfo &info : systemPorts)
            seen << info.portName();
        Console::printError(QStringLiteral("no port looks like the receiver's (USB %1:%2 or %3); "
                                           "name one with -p or SPIFFS_PORT")
                                    .arg(PortDiscovery::BridgeVendorId, 4, 16, QLatin1Char('0'))
                                    .arg(PortDiscovery::BridgeProductId, 4, 16, QLatin1Char('0'))
                                    .arg(QLatin1String(PortDiscovery::BridgePortName)));
        Console::printError(seen.isEmpty() ? QStringLiteral("the system lists no serial port")
                                           : QStringLiteral("ports seen: %1").arg(seen.join(QStringLiteral(", "))));
    } else {
        Console::printError(QStringLiteral("several ports could be the receiver; choose one with -p:"));
        for (const QString &candidate : candidates)
            Console::printStatus(QStringLiteral("  %1\n").arg(candidate));
    }
    return ExitPort;
}

int CliSession::open()
{
    if (const int status = openTrace())
        return status;
    if (const int status = choosePort())
        return status;

    // As the window opens it.
    m_port.setPortName(m_portName);
    ReceiverLine::applySettings(m_port);
    if (!m_port.open(QIODevice::ReadWrite)) {
        Console::printError(QStringLiteral("cannot open %1: %2").arg(m_portName, openFailureReason(m_port, m_portName)));
        return ExitPort;
    }
    if (m_trace) {
        m_trace->startClock();
        m_trace->writeComment(QStringLiteral("port %1 (%2), %3 baud 8N1, no flow control")
                                      .arg(m_portName, systemLocationOf(m_portName))
                                      .arg(ReceiverLine::BaudRate));
    }
    m_port.clear(QSerialPort::AllDirections);

    m_session = std::make_unique<DeviceSession>(&m_port);
    // A time-out too short to count in milliseconds is still one.
    m_session->setTimeout(int(std::ceil(m_line.timeoutSeconds * 1000)));
    if (m_trace)
        m_trace->follow(&m_port);
    Console::catchInterrupt();
    m_interruptPoll.start();

    DeviceReply *settled = m_session->settle();
    if (!await(settled))
        return failure(settled, QStringLiteral("opening %1").arg(m_portName));
    return ExitDone;
}

bool CliSession::await(DeviceReply *reply, ProgressMeter *meter)
{
    if (meter)
        connect(reply, &DeviceReply::progress, reply, [meter](qint64 done, qint64 total) { meter->update(done, total); });
    if (m_interrupted)
        m_session->abort();
    if (!reply->isFinished()) {
        QEventLoop loop;
        connect(reply, &DeviceReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // The meter's line ends before any message about the outcome.
    if (meter)
        meter->finish();
    return reply->error() == DeviceReply::NoError;
}

bool CliSession::await(DeviceReply *reply, JobProgress &progress)
{
    connect(reply, &DeviceReply::progress, reply, [&progress](qint64 done, qint64) { progress.update(done); });
    const bool done = await(reply);
    // The progress line ends before any message about the outcome.
    if (!done)
        progress.finish();
    return done;
}

bool CliSession::showsProgress() const
{
    return !m_line.quiet && Console::isTerminal(stderr);
}

int CliSession::failure(DeviceReply *reply, const QString &subject)
{
    const DeviceReply::Error error = reply->error();
    QString message = subject + QStringLiteral(": ");
    if (error == DeviceReply::AbortedError)
        message += QStringLiteral("interrupted");
    else
        message += reply->errorString();

    const bool cutShort = error == DeviceReply::TimeoutError || error == DeviceReply::LineLostError
                          || error == DeviceReply::AbortedError;
    const Exchange exchange = reply->exchange();
    if (cutShort && exchange == Exchange::Download) {
        message += reply->bytesTotal() > 0 ? QStringLiteral("; %1 of %2 bytes had arrived").arg(reply->bytesDone()).arg(reply->bytesTotal())
                                           : QStringLiteral("; no byte of it had arrived");
    } else if (exchange == Exchange::Upload && (cutShort || reply->bytesDone() > 0)) {
        message += QStringLiteral("; %1 of %2 bytes had been taken; the receiver may now hold a partial file named %3")
                           .arg(reply->bytesDone())
                           .arg(reply->bytesTotal())
                           .arg(shownName(reply->deviceName()));
    }
    Console::printError(message);

    switch (error) {
    case DeviceReply::NoError:
        return ExitDone;
    case DeviceReply::RefusedError:
    case DeviceReply::BadReplyError:
        return ExitFailed;
    case DeviceReply::TimeoutError:
        return ExitNoAnswer;
    case DeviceReply::LineLostError:
        return ExitPort;
    case DeviceReply::AbortedError:
        return ExitInterrupted;
    }
    return ExitFailed;
}

std::optional<CliSession::Holdings> CliSession::memoryAndListing(const QString &subject, int *status)
{
    DeviceReply *memory = m_session->requestMemoryReport();
    if (!await(memory)) {
        *status = failure(memory, subject);
        return std::nullopt;
    }
    DeviceReply *listing = m_session->requestListing();
    if (!await(listing)) {
        *status = failure(listing, subject);
        return std::nullopt;
    }
    return Holdings{memory->memory(), listing->entries()};
}
