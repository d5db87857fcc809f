#include "options.h"

#include <QtCore/QStringList>

const std::vector<OptionRow> &optionTable()
{
    static const std::vector<OptionRow> table = {
        {OptionId::Port, "p", "port", "PORT", ValueKind::Port, true,
         "the serial port, a name or a device path. Without it: $SPIFFS_PORT;\n"
         "else the one port that looks like the receiver's bridge (USB\n"
         "10c4:ea60 or cu.SLAB_USBtoUART) or is named in $SPIFFS_MANAGER_PORTS\n"
         "(separated as PATH is); else the only USB serial port. Opened at\n"
         "115200 baud, 8N1."},
        {OptionId::Timeout, "", "timeout", "S", ValueKind::Number, true,
         "seconds of silence from the receiver before giving up (default 5;\n"
         "format waits at least 120; 0 waits for ever)"},
        {OptionId::Quiet, "q", "quiet", "", ValueKind::None, true,
         "no progress line (drawn only when standard error is a terminal) and no\n"
         "notes on success; errors are still said"},
        {OptionId::Json, "", "json", "", ValueKind::None, true,
         "one JSON document on a line for each command, also when it fails:\n"
         "its result, exitStatus, and error (kind and message) or null"},
        {OptionId::Trace, "", "trace", "FILE", ValueKind::LocalFile, true,
         "writes every byte sent and received to FILE as it happens"},
        {OptionId::Help, "h", "help", "", ValueKind::None, true,
         "this help; COMMAND --help for a command's own (after ls and df, -h\n"
         "means --human-readable)"},
        {OptionId::Version, "", "version", "", ValueKind::None, true, "the program's version"},
        {OptionId::Long, "l", "long", "", ValueKind::None, false, "with sizes"},
        {OptionId::Output, "o", "output", "DIR", ValueKind::LocalFolder, false, "the folder to download into"},
        {OptionId::Verify, "", "verify", "", ValueKind::None, false, "download each file again and compare"},
        {OptionId::Yes, "y", "yes", "", ValueKind::None, false, "erase without asking"},
        {OptionId::Clean, "", "clean", "", ValueKind::None, false, "first remove the files the backup lacks"},
        {OptionId::Delete, "", "delete", "", ValueKind::None, false, "remove the receiver's files that DIR lacks"},
        {OptionId::Checksum, "", "checksum", "", ValueKind::None, false, "compare same-size files byte for byte"},
        {OptionId::DryRun, "", "dry-run", "", ValueKind::None, false, "print the plan and change nothing"},
        {OptionId::Force, "f", "force", "", ValueKind::None, false, "replace a file that is in the way"},
        {OptionId::HumanReadable, "", "human-readable", "", ValueKind::None, false, "sizes in KiB and MiB"},
        {OptionId::Manifest, "", "manifest", "NAME", ValueKind::None, false,
         "restore the earlier backup DIR keeps as NAME (MANIFEST.DATE) instead of the newest"},
    };
    return table;
}

const OptionRow &optionRow(OptionId id)
{
    const std::vector<OptionRow> &table = optionTable();
    for (const OptionRow &option : table) {
        if (option.id == id)
            return option;
    }
    Q_UNREACHABLE();
    return table.front();
}

QString optionDisplayName(const OptionRow &option)
{
    return QStringLiteral("--") + QLatin1String(option.longName);
}

QStringList optionNames(const OptionRow &option)
{
    QStringList names;
    if (*option.shortName)
        names << QStringLiteral("-") + QLatin1String(option.shortName);
    names << optionDisplayName(option);
    if (option.id == OptionId::HumanReadable)
        names.prepend(QStringLiteral("-h"));
    return names;
}

QString optionSummary(const OptionRow &option)
{
    QString help = QString::fromLatin1(option.help).simplified();
    for (const QLatin1String end : {QLatin1String(". "), QLatin1String("; "), QLatin1String(": ")}) {
        const int at = help.indexOf(end);
        if (at > 0)
            help.truncate(at);
    }
    const int open = help.lastIndexOf(QLatin1Char('('));
    if (open > 0 && help.indexOf(QLatin1Char(')'), open) < 0)
        help = help.left(open).trimmed();
    while (help.endsWith(QLatin1Char(':')) || help.endsWith(QLatin1Char(';')) || help.endsWith(QLatin1Char(',')))
        help.chop(1);
    return help;
}

QStringList usageOptions()
{
    QStringList shown;
    for (const OptionRow &option : optionTable()) {
        if (!option.global || option.id == OptionId::Help || option.id == OptionId::Version)
            continue;
        QString text = optionNames(option).constFirst();
        if (*option.valueName)
            text += QLatin1Char(' ') + QLatin1String(option.valueName);
        shown << text;
    }
    return shown;
}
