// ports, df and ls: what the system and the receiver hold.
#include "clisession.h"
#include "clitext.h"
#include "commands.h"
#include "console.h"
#include "namepattern.h"
#include "portaccess.h"

#include "core/devicesession.h"
#include "core/portdiscovery.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>

using CatalogueFormat::deviceNameText;
using CatalogueFormat::ListingEntry;

int runPorts(const CommandContext &context)
{
    const QList<PortDescription> ports = describePorts();
    if (context.line.json) {
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

int runDf(const CommandContext &context)
{
    CliSession &session = context.session;
    if (const int status = session.open())
        return status;
    DeviceReply *reply = session.device().requestMemoryReport();
    if (!session.await(reply))
        return session.failure(reply, QStringLiteral("df"));
    const CatalogueFormat::MemoryFigures figures = reply->memory();
    const quint32 free = CatalogueFormat::freeBytes(figures);
    if (context.line.json) {
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

int runLs(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    if (const int status = session.open())
        return status;
    DeviceReply *reply = session.device().requestListing();
    if (!session.await(reply))
        return session.failure(reply, QStringLiteral("ls"));

    const QStringList &patterns = line.arguments;
    QVector<ListingEntry> shown;
    QVector<bool> patternUsed(patterns.size(), false);
    const QVector<ListingEntry> entries = reply->entries();
    for (const ListingEntry &entry : entries) {
        const QString name = deviceNameText(entry.name);
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

    if (line.json) {
        QJsonArray files;
        for (const ListingEntry &entry : std::as_const(shown))
            files.append(QJsonObject{{QStringLiteral("name"), deviceNameText(entry.name)}, {QStringLiteral("size"), qint64(entry.size)}});
        printJson(QJsonObject{{QStringLiteral("files"), files}});
    } else {
        // Raw for a script reading the names; safe for a person's terminal.
        const auto text = Console::isTerminal(stdout) ? shownName : deviceNameText;
        for (const ListingEntry &entry : std::as_const(shown)) {
            Console::printLine(line.longListing ? QStringLiteral("%1  %2").arg(entry.size, 10).arg(text(entry.name))
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
