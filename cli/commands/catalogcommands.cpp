// ports, df and ls: what the system and the receiver hold.
#include "cli/session/clisession.h"
#include "cli/commands/commands.h"
#include "cli/output/console.h"
#include "cli/names/devicenames.h"
#include "cli/session/portaccess.h"
#include "cli/output/shownfigures.h"

#include "core/devicesession.h"
#include "core/portdiscovery.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QSet>

using CatalogueFormat::ListingEntry;

void runPorts(const CommandContext &context)
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
            entry.insert(QStringLiteral("preferred"), port.preferred);
            entry.insert(QStringLiteral("listedBySystem"), port.listedBySystem);
            entry.insert(QStringLiteral("canOpen"), port.access == PortAccess::Usable);
            entry.insert(QStringLiteral("access"), accessText(port.access));
            entry.insert(QStringLiteral("reason"), port.reason.isEmpty() ? QJsonValue() : QJsonValue(port.reason));
            list.append(entry);
        }
        context.output.result().insert(QStringLiteral("ports"), list);
        return;
    }
    // -q: the device files alone, one a line, for scripts and the shells' completions.
    if (context.line.quiet) {
        for (const PortDescription &port : ports)
            Console::printLine(port.systemLocation);
        return;
    }
    if (ports.isEmpty())
        context.output.note(QStringLiteral("no serial ports"));
    for (const PortDescription &port : ports) {
        QStringList marks;
        if (port.receiverBridge)
            marks << QStringLiteral("the receiver's bridge");
        if (port.preferred)
            marks << QStringLiteral("chosen first, as the window does");
        Console::printLine(QStringLiteral("%1 %2 (%3)%4")
                                   .arg(port.receiverBridge ? QLatin1Char('*') : QLatin1Char(' '))
                                   .arg(port.name, port.systemLocation,
                                        marks.isEmpty() ? QString() : QStringLiteral("  ") + marks.join(QStringLiteral(", "))));
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
        // As opening would say it.
        field(QStringLiteral("why"), port.reason);
    }
}

void runDf(const CommandContext &context)
{
    CliSession &session = context.session;
    const CatalogueFormat::MemoryFigures figures =
            session.answer(session.device().requestMemoryReport(), QStringLiteral("df"))->memory();
    const quint32 free = CatalogueFormat::freeBytes(figures);
    if (context.line.json) {
        context.output.result() = QJsonObject{{QStringLiteral("total"), qint64(figures.totalBytes)},
                                              {QStringLiteral("used"), qint64(figures.usedBytes)},
                                              {QStringLiteral("free"), qint64(free)}};
        return;
    }
    SpaceFigures shown{QString::number(figures.totalBytes), QString::number(figures.usedBytes), QString::number(free)};
    if (context.line.humanReadable)
        shown = spaceFigures(figures.totalBytes, figures.usedBytes);
    Console::printLine(QStringLiteral("total %1").arg(shown.total, 11));
    Console::printLine(QStringLiteral("used  %1").arg(shown.used, 11));
    Console::printLine(QStringLiteral("free  %1").arg(shown.free, 11));
}

void runLs(const CommandContext &context)
{
    const CommandLine &line = context.line;
    CliSession &session = context.session;
    const QVector<ListingEntry> listing = session.listing(QStringLiteral("ls"));

    QStringList unmatched;
    // In the receiver's order, whatever the order of the arguments.
    QVector<ListingEntry> shown;
    if (line.arguments.isEmpty()) {
        shown = listing;
    } else {
        QSet<QByteArray> selected;
        for (const ListingEntry &entry : DeviceNames::selectAll(line.command, line.arguments, listing, &unmatched))
            selected.insert(entry.name);
        for (const ListingEntry &entry : listing) {
            if (selected.contains(entry.name))
                shown << entry;
        }
    }

    if (line.json) {
        QJsonArray files;
        for (const ListingEntry &entry : std::as_const(shown))
            files.append(withName({{QStringLiteral("size"), qint64(entry.size)}}, entry.name));
        context.output.result().insert(QStringLiteral("files"), files);
    } else {
        // As every command shows names: safe for a terminal, and each one
        // typed back stands for that file alone.
        const auto text = shownName;
        for (const ListingEntry &entry : std::as_const(shown)) {
            const QString size = line.humanReadable ? QStringLiteral("%1").arg(byteCount(entry.size), 10)
                                                    : QStringLiteral("%1").arg(entry.size, 10);
            Console::printLine(line.longListing ? size + QStringLiteral("  ") + text(entry.name) : text(entry.name));
        }
    }
    QStringList problems;
    for (const QString &argument : std::as_const(unmatched))
        problems << QStringLiteral("ls: no file matches %1").arg(argument);
    failIfAny(Failure::NoSuchFile, problems);
}
