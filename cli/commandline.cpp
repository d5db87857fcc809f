#include "commandline.h"

#include <QtCore/QCommandLineParser>

#include <map>

namespace {

// Lines after the first go under the first, at column.
QString indentedText(const char *text, int column)
{
    QString indented = QLatin1String(text);
    indented.replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(column, QLatin1Char(' ')));
    return indented;
}

QString globalOptionsText()
{
    constexpr int NamesWidth = 15;
    QString text = QStringLiteral("Options:\n");
    for (const OptionSpec &option : optionTable()) {
        if (!option.global)
            continue;
        QString names = *option.shortName ? QStringLiteral("-%1, ").arg(QLatin1String(option.shortName)) : QString();
        names += QStringLiteral("--") + QLatin1String(option.longName);
        if (*option.valueName)
            names += QLatin1Char(' ') + QLatin1String(option.valueName);
        text += QStringLiteral("  %1  %2\n").arg(names, -NamesWidth).arg(indentedText(option.help, NamesWidth + 4));
    }
    return text;
}

QString exitStatusText()
{
    constexpr int CodeWidth = 5;
    QString text = QStringLiteral("Exit status:\n");
    for (const ExitStatusSpec &status : exitStatusTable())
        text += QStringLiteral("  %1%2\n").arg(int(status.code), -CodeWidth).arg(indentedText(status.meaning, CodeWidth + 2));
    return text;
}

QCommandLineOption parserOption(const OptionSpec &spec)
{
    QStringList names;
    if (*spec.shortName)
        names << QLatin1String(spec.shortName);
    names << QLatin1String(spec.longName);
    return *spec.valueName ? QCommandLineOption(names, QString(), QLatin1String(spec.valueName))
                           : QCommandLineOption(names);
}

} // namespace

bool isCommand(const QString &name)
{
    return findCommand(name) != nullptr;
}

QString helpText(const QString &command)
{
    if (const CommandSpec *spec = findCommand(command)) {
        return QStringLiteral("Usage: spiffs-cli [OPTIONS] %1\n\n%2\n%3\n%4")
                .arg(QLatin1String(spec->synopsis), QLatin1String(spec->details), globalOptionsText(), exitStatusText());
    }
    QString text = QStringLiteral(
            "Usage: spiffs-cli [-p PORT] [--timeout S] [-q] [--json] [--trace FILE] COMMAND [ARGS]\n"
            "\n"
            "Reads and writes the SPIFFS flash of an ESP32 SI473X receiver over its USB serial port.\n"
            "Data goes to standard output, messages to standard error.\n"
            "\n"
            "Commands:\n");
    for (const CommandSpec &spec : commandTable()) {
        const QString synopsis = QLatin1String(spec.synopsis);
        // A long synopsis has its summary on the next line, in the column.
        const QString gap = synopsis.size() > 30 ? QStringLiteral("\n") + QString(33, QLatin1Char(' ')) : QStringLiteral(" ");
        text += QStringLiteral("  %1%2%3\n").arg(synopsis, -30).arg(gap, QLatin1String(spec.summary));
    }
    return text + QLatin1Char('\n') + globalOptionsText() + QLatin1Char('\n') + exitStatusText();
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    std::map<OptionId, QCommandLineOption> options;
    for (const OptionSpec &spec : optionTable()) {
        options.emplace(spec.id, parserOption(spec));
        parser.addOption(options.at(spec.id));
    }
    const auto isSet = [&](OptionId id) { return parser.isSet(options.at(id)); };
    const auto value = [&](OptionId id) { return parser.value(options.at(id)); };

    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = isSet(OptionId::Help);
    line.version = isSet(OptionId::Version);
    line.arguments = parser.positionalArguments();
    if (!line.arguments.isEmpty())
        line.command = line.arguments.takeFirst();
    if (line.help || line.version)
        return line;
    if (line.command.isEmpty()) {
        line.error = QStringLiteral("no command given");
        return line;
    }
    line.spec = findCommand(line.command);
    if (!line.spec) {
        line.error = QStringLiteral("unknown command \"%1\"").arg(line.command);
        return line;
    }

    line.port = value(OptionId::Port);
    line.quiet = isSet(OptionId::Quiet);
    line.json = isSet(OptionId::Json);
    line.traceFile = value(OptionId::Trace);
    line.longListing = isSet(OptionId::Long);
    line.outputFolder = value(OptionId::Output);
    line.verify = isSet(OptionId::Verify);
    line.yes = isSet(OptionId::Yes);
    line.clean = isSet(OptionId::Clean);
    line.deleteExtra = isSet(OptionId::Delete);
    line.checksum = isSet(OptionId::Checksum);
    line.dryRun = isSet(OptionId::DryRun);
    if (isSet(OptionId::Timeout)) {
        bool ok = false;
        line.timeoutSeconds = value(OptionId::Timeout).toDouble(&ok);
        line.timeoutGiven = true;
        if (!ok || line.timeoutSeconds < 0 || line.timeoutSeconds > 86400) {
            line.error = QStringLiteral("--timeout takes seconds, from 0 to 86400");
            return line;
        }
    }

    // A command's own option on another command is a mistake worth naming.
    for (const OptionSpec &option : optionTable()) {
        if (!option.global && isSet(option.id) && !line.spec->owns(option.id)) {
            line.error = QStringLiteral("%1 is an option of %2").arg(optionDisplayName(option), commandsOwning(option.id));
            return line;
        }
    }

    const int count = line.arguments.size();
    if (count < line.spec->leastArguments)
        line.error = QStringLiteral("%1: missing argument (spiffs-cli %1 --help)").arg(line.command);
    else if (line.spec->mostArguments >= 0 && count > line.spec->mostArguments)
        line.error = QStringLiteral("%1: too many arguments (spiffs-cli %1 --help)").arg(line.command);
    return line;
}
