#include "clitool.h"

#include "clitext.h"
#include "console.h"
#include "namepattern.h"
#include "portaccess.h"
#include "progressmeter.h"

#include "core/catalogueformat.h"
#include "core/commandformat.h"
#include "core/devicesession.h"
#include "core/portdiscovery.h"
#include "core/receiverline.h"
#include "core/tracewriter.h"
#include "core/wireformat.h"
#include "core/transferformat.h"
#include "core/uploadfile.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QEventLoop>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QSaveFile>
#include <QtSerialPort/QSerialPortInfo>

#include <algorithm>
#include <cmath>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

namespace {

// Erasing a whole flash takes the receiver a while, whatever --timeout says.
constexpr int FormatLeastTimeoutMs = 120000;
constexpr int InterruptPollMs = 50;

QString nameText(const QByteArray &name)
{
    return deviceNameText(name);
}

// Where FILE ends in FILE:NAME; -1 when the argument is a FILE alone. NAME
// never holds a ":", so the last one splits, unless it is a drive letter's.
int nameSeparator(const QString &argument)
{
    const int colon = argument.lastIndexOf(QLatin1Char(':'));
    const bool driveLetter = colon == 1 && argument.at(0).isLetter() && argument.size() > 2
                             && (argument.at(2) == QLatin1Char('\\') || argument.at(2) == QLatin1Char('/'));
    return driveLetter ? -1 : colon;
}

} // namespace

CliTool::CliTool()
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

CliTool::~CliTool()
{
    // The session goes before the port it reads.
    m_session.reset();
    if (m_port.isOpen())
        m_port.close();
}

int CliTool::run(const QStringList &arguments)
{
    m_line = parseCommandLine(arguments);
    if (m_line.version) {
        Console::printLine(QStringLiteral("spiffs-cli ") + QStringLiteral(SPIFFS_VERSION));
        return ExitDone;
    }
    if (m_line.help) {
        Console::writeData(helpText(m_line.command).toLocal8Bit());
        return ExitDone;
    }
    if (!m_line.error.isEmpty()) {
        Console::printError(m_line.error);
        Console::printStatus(QStringLiteral("Try 'spiffs-cli --help'.\n"));
        return ExitUsage;
    }

    const QString &command = m_line.command;
    if (command == QLatin1String("ports"))
        return runPorts();
    if (command == QLatin1String("df"))
        return runDf();
    if (command == QLatin1String("ls"))
        return runLs();
    if (command == QLatin1String("get"))
        return runGet();
    if (command == QLatin1String("cat"))
        return runCat();
    if (command == QLatin1String("put"))
        return runPut();
    if (command == QLatin1String("rm"))
        return runRm();
    if (command == QLatin1String("format"))
        return runFormat();
    if (command == QLatin1String("run"))
        return runRun();
    if (command == QLatin1String("reboot"))
        return runReboot();
    if (command == QLatin1String("backup"))
        return runBackup();
    if (command == QLatin1String("restore"))
        return runRestore();
    if (command == QLatin1String("sync"))
        return runSync();
    return runVerify();
}

// ---- the port and the session ------------------------------------------------

int CliTool::openTrace()
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

int CliTool::openSession()
{
    if (const int status = openTrace())
        return status;

    m_portName = m_line.port;
    if (m_portName.isEmpty())
        m_portName = qEnvironmentVariable("SPIFFS_PORT");
    if (m_portName.isEmpty()) {
        const QList<QSerialPortInfo> systemPorts = QSerialPortInfo::availablePorts();
        const QStringList candidates =
                PortDiscovery::receiverCandidates(systemPorts, PortDiscovery::portsNamedByUser());
        if (candidates.size() != 1) {
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
        m_portName = candidates.constFirst();
    }

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
        m_trace->follow(m_session.get());
    Console::catchInterrupt();
    m_interruptPoll.start();

    DeviceReply *settled = m_session->settle();
    if (!await(settled))
        return failure(settled, QStringLiteral("opening %1").arg(m_portName));
    return ExitDone;
}

bool CliTool::await(DeviceReply *reply, ProgressMeter *meter)
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

bool CliTool::showsProgress() const
{
    return !m_line.quiet && Console::isTerminal(stderr);
}

int CliTool::failure(DeviceReply *reply, const QString &subject)
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

// ---- local files and names -----------------------------------------------------

std::optional<CliTool::FileAndName> CliTool::fileAndName(const QString &argument)
{
    const QString &command = m_line.command;
    FileAndName file;
    QString name;
    bool nameGiven = false;
    const int separator = QFileInfo::exists(argument) ? -1 : nameSeparator(argument);
    if (separator >= 0) {
        file.localPath = argument.left(separator);
        name = argument.mid(separator + 1);
        nameGiven = true;
    } else {
        file.localPath = argument;
    }

    const QFileInfo info(file.localPath);
    if (file.localPath.isEmpty() || !info.exists()) {
        Console::printError(QStringLiteral("%1: no such file: %2").arg(command, file.localPath));
        return std::nullopt;
    }
    // A device or a pipe has no size to measure and check against the room.
    if (!info.isFile()) {
        Console::printError(QStringLiteral("%1: not a regular file: %2").arg(command, file.localPath));
        return std::nullopt;
    }
    file.size = info.size();

    if (!nameGiven) {
        name = TransferFormat::uploadName(QDir::fromNativeSeparators(file.localPath));
    } else if (!nameCharactersAccepted(name)) {
        Console::printError(QStringLiteral("%1: the name \"%2\" holds characters the receiver's names do not: "
                                           "only A-Z a-z 0-9 _ ' ( ) * + , - . and / are sent")
                                    .arg(command, name));
        return std::nullopt;
    }
    if (name.isEmpty() || !TransferFormat::uploadNameAcceptable(name)) {
        Console::printError(QStringLiteral("%1: the name \"%2\" needs something before its first \".\" and a type after it")
                                    .arg(command, name));
        return std::nullopt;
    }
    file.name = name.toLatin1();
    if (WireFormat::devicePath(file.name).size() > TransferFormat::MaxDevicePathBytes) {
        Console::printError(QStringLiteral("%1: the name \"%2\" is longer than the receiver's %3 bytes")
                                    .arg(command, name)
                                    .arg(TransferFormat::MaxDevicePathBytes - 1));
        return std::nullopt;
    }
    return file;
}

std::optional<QByteArray> CliTool::readLocalFile(const FileAndName &file)
{
    QFile local;
    if (!openUploadFile(local, file.localPath)) {
        const QString reason = local.error() != QFileDevice::NoError ? local.errorString()
                                                                     : QStringLiteral("not a regular file");
        Console::printError(QStringLiteral("%1: cannot read %2: %3").arg(m_line.command, file.localPath, reason));
        return std::nullopt;
    }
    // Never more than was measured and checked against the room.
    std::optional<QByteArray> content = readUploadFile(local, file.size);
    if (!content)
        Console::printError(QStringLiteral("%1: %2 changed while it was read").arg(m_line.command, file.localPath));
    return content;
}

// ---- commands --------------------------------------------------------------------

int CliTool::runPorts()
{
    const QList<PortDescription> ports = describePorts();
    if (m_line.json) {
        QJsonArray list;
        for (const PortDescription &port : ports) {
            QJsonObject entry;
            entry.insert(QStringLiteral("name"), port.name);
            entry.insert(QStringLiteral("systemLocation"), port.systemLocation);
            entry.insert(QStringLiteral("description"), port.description);
            entry.insert(QStringLiteral("manufacturer"), port.manufacturer);
            entry.insert(QStringLiteral("usb"), port.hasUsbIds ? QJsonValue(usbIdsText(port)) : QJsonValue());
            entry.insert(QStringLiteral("serialNumber"), port.serialNumber);
            entry.insert(QStringLiteral("receiverBridge"), port.receiverBridge);
            entry.insert(QStringLiteral("listedBySystem"), port.listedBySystem);
            entry.insert(QStringLiteral("canOpen"), port.access == PortAccess::Usable);
            entry.insert(QStringLiteral("access"), accessText(port.access));
            list.append(entry);
        }
        printJson(QJsonObject{{QStringLiteral("ports"), list}});
        return ExitDone;
    }
    if (ports.isEmpty())
        Console::printError(QStringLiteral("no serial ports"));
    for (const PortDescription &port : ports) {
        Console::printLine(QStringLiteral("%1 %2 (%3)%4")
                                   .arg(port.receiverBridge ? QLatin1Char('*') : QLatin1Char(' '))
                                   .arg(port.name, port.systemLocation,
                                        port.receiverBridge ? QStringLiteral("  the receiver's bridge") : QString()));
        const auto field = [](const QString &label, const QString &value) {
            if (!value.isEmpty())
                Console::printLine(QStringLiteral("    %1 %2").arg(label, -13).arg(value));
        };
        field(QStringLiteral("description"), port.description);
        field(QStringLiteral("manufacturer"), port.manufacturer);
        field(QStringLiteral("usb"), usbIdsText(port));
        field(QStringLiteral("serial"), port.serialNumber);
        field(QStringLiteral("listed by"), port.listedBySystem ? QStringLiteral("the system")
                                                               : QLatin1String(PortDiscovery::PortsVariable));
        field(QStringLiteral("access"), accessText(port.access));
    }
    return ExitDone;
}

int CliTool::runDf()
{
    if (const int status = openSession())
        return status;
    DeviceReply *reply = m_session->requestMemoryReport();
    if (!await(reply))
        return failure(reply, QStringLiteral("df"));
    const CatalogueFormat::MemoryFigures figures = reply->memory();
    const quint32 free = CatalogueFormat::freeBytes(figures);
    if (m_line.json) {
        printJson(QJsonObject{{QStringLiteral("total"), qint64(figures.totalBytes)},
                              {QStringLiteral("used"), qint64(figures.usedBytes)},
                              {QStringLiteral("free"), qint64(free)}});
    } else {
        Console::printLine(QStringLiteral("total %1").arg(figures.totalBytes, 11));
        Console::printLine(QStringLiteral("used  %1").arg(figures.usedBytes, 11));
        Console::printLine(QStringLiteral("free  %1").arg(free, 11));
    }
    return ExitDone;
}

int CliTool::runLs()
{
    if (const int status = openSession())
        return status;
    DeviceReply *reply = m_session->requestListing();
    if (!await(reply))
        return failure(reply, QStringLiteral("ls"));

    const QStringList &patterns = m_line.arguments;
    QVector<ListingEntry> shown;
    QVector<bool> patternUsed(patterns.size(), false);
    const QVector<ListingEntry> entries = reply->entries();
    for (const ListingEntry &entry : entries) {
        const QString name = nameText(entry.name);
        bool match = patterns.isEmpty();
        for (int i = 0; i < patterns.size(); ++i) {
            if (NamePattern::matches(patterns.at(i), name)) {
                match = true;
                patternUsed[i] = true;
            }
        }
        if (match)
            shown << entry;
    }

    if (m_line.json) {
        QJsonArray files;
        for (const ListingEntry &entry : std::as_const(shown))
            files.append(QJsonObject{{QStringLiteral("name"), nameText(entry.name)}, {QStringLiteral("size"), qint64(entry.size)}});
        printJson(QJsonObject{{QStringLiteral("files"), files}});
    } else {
        // Raw for a script reading the names; safe for a person's terminal.
        const auto text = Console::isTerminal(stdout) ? shownName : nameText;
        for (const ListingEntry &entry : std::as_const(shown)) {
            Console::printLine(m_line.longListing ? QStringLiteral("%1  %2").arg(entry.size, 10).arg(text(entry.name))
                                                  : text(entry.name));
        }
    }
    int status = ExitDone;
    for (int i = 0; i < patterns.size(); ++i) {
        if (!patternUsed.at(i)) {
            Console::printError(QStringLiteral("ls: no file matches %1").arg(patterns.at(i)));
            status = ExitFailed;
        }
    }
    return status;
}

int CliTool::runGet()
{
    const QString folder = m_line.outputFolder.isEmpty() ? QStringLiteral(".") : m_line.outputFolder;
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir()) {
        Console::printError(QStringLiteral("get: no such folder: %1").arg(folder));
        return ExitUsage;
    }
    if (const int status = openSession())
        return status;

    for (const QString &argument : std::as_const(m_line.arguments)) {
        const QByteArray name = argument.toUtf8();
        const QString localPath = QDir(folder).filePath(TransferFormat::localFileName(nameText(name)));
        ProgressMeter meter(argument, showsProgress());
        DeviceReply *reply = m_session->download(name);
        if (!await(reply, &meter))
            return failure(reply, QStringLiteral("get %1").arg(argument));

        // Written only once the whole file is in: a local file of that name
        // is replaced by a complete one or not at all.
        QSaveFile file(localPath);
        const QByteArray content = reply->content();
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
            Console::printError(QStringLiteral("get %1: cannot write %2: %3").arg(argument, localPath, file.errorString()));
            return ExitFailed;
        }
        reply->deleteLater();
    }
    return ExitDone;
}

int CliTool::runCat()
{
    if (const int status = openSession())
        return status;
    const QString &argument = m_line.arguments.constFirst();
    ProgressMeter meter(argument, showsProgress());
    DeviceReply *reply = m_session->download(argument.toUtf8());
    if (!await(reply, &meter))
        return failure(reply, QStringLiteral("cat %1").arg(argument));
    if (!Console::writeData(reply->content())) {
        Console::printError(QStringLiteral("cat %1: standard output takes no more").arg(argument));
        return ExitFailed;
    }
    return ExitDone;
}

int CliTool::runPut()
{
    QVector<FileAndName> files;
    for (const QString &argument : std::as_const(m_line.arguments)) {
        const std::optional<FileAndName> file = fileAndName(argument);
        if (!file)
            return ExitUsage;
        files << *file;
    }
    if (const int status = openSession())
        return status;

    for (const FileAndName &file : std::as_const(files)) {
        const QString name = shownName(file.name);
        DeviceReply *memory = m_session->requestMemoryReport();
        if (!await(memory))
            return failure(memory, QStringLiteral("put %1").arg(file.localPath));
        // As the window checks: the free space must exceed the file.
        const quint32 free = CatalogueFormat::freeBytes(memory->memory());
        if (qint64(free) <= file.size) {
            Console::printError(QStringLiteral("put %1: %2 bytes do not fit in the receiver's %3 free bytes")
                                        .arg(file.localPath)
                                        .arg(file.size)
                                        .arg(free));
            return ExitFailed;
        }
        const std::optional<QByteArray> content = readLocalFile(file);
        if (!content)
            return ExitFailed;

        {
            ProgressMeter meter(name, showsProgress());
            DeviceReply *upload = m_session->upload(file.name, *content);
            if (!await(upload, &meter))
                return failure(upload, QStringLiteral("put %1").arg(file.localPath));
        }
        if (m_line.verify) {
            ProgressMeter meter(name + QStringLiteral(" (verify)"), showsProgress());
            DeviceReply *download = m_session->download(file.name);
            if (!await(download, &meter))
                return failure(download, QStringLiteral("put --verify %1").arg(name));
            if (download->content() != *content) {
                Console::printError(QStringLiteral("put %1: the receiver's copy of %2 differs from it").arg(file.localPath, name));
                return ExitMismatch;
            }
        }
    }
    return ExitDone;
}

int CliTool::runRm()
{
    if (const int status = openSession())
        return status;

    QVector<QByteArray> targets;
    const bool anyPattern = std::any_of(m_line.arguments.cbegin(), m_line.arguments.cend(), NamePattern::isPattern);
    QVector<ListingEntry> entries;
    if (anyPattern) {
        DeviceReply *listing = m_session->requestListing();
        if (!await(listing))
            return failure(listing, QStringLiteral("rm"));
        entries = listing->entries();
    }
    // Every pattern must match before anything is removed.
    for (const QString &argument : std::as_const(m_line.arguments)) {
        if (!NamePattern::isPattern(argument)) {
            if (!targets.contains(argument.toUtf8()))
                targets << argument.toUtf8();
            continue;
        }
        bool matched = false;
        for (const ListingEntry &entry : std::as_const(entries)) {
            if (NamePattern::matches(argument, nameText(entry.name))) {
                matched = true;
                if (!targets.contains(entry.name))
                    targets << entry.name;
            }
        }
        if (!matched) {
            Console::printError(QStringLiteral("rm: no file matches %1; nothing removed").arg(argument));
            return ExitFailed;
        }
    }

    for (const QByteArray &name : std::as_const(targets)) {
        DeviceReply *reply = m_session->remove(name);
        if (!await(reply))
            return failure(reply, QStringLiteral("rm %1").arg(shownName(name)));
        reply->deleteLater();
    }
    return ExitDone;
}

int CliTool::runFormat()
{
    if (!m_line.yes) {
        if (!Console::isTerminal(stdin)) {
            Console::printError(QStringLiteral("format erases every file on the receiver; with no terminal to ask on, "
                                               "give --yes to go ahead"));
            return ExitUsage;
        }
        Console::printStatus(QStringLiteral("Erase every file on the receiver? Type yes to go ahead: "));
        if (Console::readLine().toLower() != QLatin1String("yes")) {
            Console::printError(QStringLiteral("format: nothing erased"));
            return ExitFailed;
        }
    }
    if (const int status = openSession())
        return status;
    if (m_session->timeout() > 0)
        m_session->setTimeout(std::max(m_session->timeout(), FormatLeastTimeoutMs));
    DeviceReply *reply = m_session->format();
    if (!await(reply))
        return failure(reply, QStringLiteral("format"));
    return ExitDone;
}

int CliTool::runRun()
{
    const QString &argument = m_line.arguments.constFirst();
    const QByteArray name = argument.toUtf8();
    if (!CommandFormat::executable(name)) {
        Console::printError(QStringLiteral("run %1: the receiver opens files by their type, and this name has none")
                                    .arg(argument));
        return ExitFailed;
    }
    if (const int status = openSession())
        return status;
    DeviceReply *reply = m_session->execute(name);
    if (!await(reply))
        return failure(reply, QStringLiteral("run %1").arg(argument));
    return ExitDone;
}

int CliTool::runReboot()
{
    if (const int status = openSession())
        return status;
    DeviceReply *reply = m_session->reboot();
    if (!await(reply))
        return failure(reply, QStringLiteral("reboot"));
    return ExitDone;
}

int CliTool::runVerify()
{
    const std::optional<FileAndName> file = fileAndName(m_line.arguments.constFirst());
    if (!file)
        return ExitUsage;
    if (const int status = openSession())
        return status;

    const QString name = shownName(file->name);
    ProgressMeter meter(name, showsProgress());
    DeviceReply *reply = m_session->download(file->name);
    if (!await(reply, &meter))
        return failure(reply, QStringLiteral("verify %1").arg(name));
    const QByteArray received = reply->content();
    // A size that differs needs no reading; the local file is read only
    // when it can be as small as the receiver's copy.
    if (received.size() != file->size) {
        Console::printError(QStringLiteral("verify: %1 holds %2 bytes, the receiver's %3 holds %4")
                                    .arg(file->localPath)
                                    .arg(file->size)
                                    .arg(name)
                                    .arg(received.size()));
        return ExitMismatch;
    }
    const std::optional<QByteArray> local = readLocalFile(*file);
    if (!local)
        return ExitFailed;
    const auto difference = std::mismatch(local->cbegin(), local->cend(), received.cbegin());
    if (difference.first != local->cend()) {
        Console::printError(QStringLiteral("verify: %1 and the receiver's %2 differ from byte %3 on")
                                    .arg(file->localPath, name)
                                    .arg(difference.first - local->cbegin()));
        return ExitMismatch;
    }
    return ExitDone;
}
