#include "cli/table/commandparser.h"

#include "cli/table/commandtable.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QSet>

#include <algorithm>

#include <map>

namespace {

QCommandLineOption parserOption(const OptionRow &row)
{
    QStringList names;
    if (*row.shortName)
        names << QLatin1String(row.shortName);
    names << QLatin1String(row.longName);
    return *row.valueName ? QCommandLineOption(names, QString(), QLatin1String(row.valueName))
                           : QCommandLineOption(names);
}

// The options that take a value: their letters, and their long names with
// the dashes.
struct ValueOptions
{
    QSet<QChar> letters;
    QSet<QString> longNames;

    ValueOptions()
    {
        for (const OptionRow &option : optionTable()) {
            if (!*option.valueName)
                continue;
            if (*option.shortName)
                letters.insert(QLatin1Char(*option.shortName));
            longNames.insert(QStringLiteral("--") + QLatin1String(option.longName));
        }
    }
};

// After ls and df, -h is GNU's --human-readable; anywhere else it is help.
QStringList withHumanReadable(const QStringList &arguments)
{
    const ValueOptions withValue;
    const QSet<QChar> &shortWithValue = withValue.letters;
    const QSet<QString> &longWithValue = withValue.longNames;
    QStringList result;
    const CommandRow *command = nullptr;
    bool valueNext = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (i == 0 || valueNext) {
            valueNext = false;
            result << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            result << arguments.mid(i);
            break;
        }
        if (argument.startsWith(QLatin1String("--"))) {
            valueNext = longWithValue.contains(argument) && !argument.contains(QLatin1Char('='));
            result << argument;
            continue;
        }
        if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            QString letters;
            bool human = false;
            for (int at = 1; at < argument.size(); ++at) {
                const QChar letter = argument.at(at);
                if (shortWithValue.contains(letter)) {
                    // The rest of the argument, or the next one, is its value.
                    letters += argument.mid(at);
                    valueNext = at + 1 == argument.size();
                    break;
                }
                if (letter == QLatin1Char('h') && command && command->owns(optionNamed("human-readable")))
                    human = true;
                else
                    letters += letter;
            }
            if (!letters.isEmpty())
                result << QLatin1Char('-') + letters;
            if (human)
                result << QStringLiteral("--human-readable");
            continue;
        }
        if (!command)
            command = findCommand(argument);
        result << argument;
    }
    return result;
}

int editDistance(const QString &a, const QString &b)
{
    QVector<int> costs(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        costs[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = costs[0];
        costs[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = costs[j];
            costs[j] = std::min({costs[j] + 1, costs[j - 1] + 1, diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1)});
            diagonal = above;
        }
    }
    return costs[b.size()];
}

// The first word that is neither an option nor an option's value: the
// command, for a line the parser refused before it could say.
QString firstWord(const QStringList &arguments)
{
    const ValueOptions withValue;
    bool valueNext = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (valueNext) {
            valueNext = false;
        } else if (argument == QLatin1String("--")) {
            return arguments.value(i + 1);
        } else if (argument.startsWith(QLatin1String("--"))) {
            valueNext = withValue.longNames.contains(argument);
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            const int letter = int(std::find_if(argument.cbegin() + 1, argument.cend(),
                                                [&](QChar c) { return withValue.letters.contains(c); })
                                   - argument.cbegin());
            valueNext = letter == argument.size() - 1;
        } else {
            return argument;
        }
    }
    return QString();
}

} // namespace

QString nearestCommand(const QString &typed)
{
    QString nearest;
    int best = 3; // further than two edits is a guess
    for (const CommandRow &command : commandTable()) {
        const QString name = QLatin1String(command.name);
        const int distance = name.startsWith(typed) && !typed.isEmpty() ? 1 : editDistance(typed, name);
        if (distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

namespace {

// A parser that knows every option of the table.
class OptionParser
{
public:
    OptionParser()
    {
        m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
        for (const OptionRow &row : optionTable()) {
            m_options.emplace(&row, parserOption(row));
            m_parser.addOption(m_options.at(&row));
        }
    }
    QCommandLineParser &parser() { return m_parser; }
    bool isSet(const OptionRow &option) const { return m_parser.isSet(m_options.at(&option)); }
    QString value(const OptionRow &option) const { return m_parser.value(m_options.at(&option)); }

private:
    QCommandLineParser m_parser;
    std::map<const OptionRow *, QCommandLineOption> m_options;
};

// Every option's value where its row puts it; a time-out that is none is
// an error.
void takeOptions(const OptionParser &options, CommandLine &line)
{
    for (const OptionRow &option : optionTable()) {
        if (option.flag)
            line.*option.flag = options.isSet(option);
        else
            line.*option.text = options.value(option);
    }
    line.timeoutGiven = !line.timeoutText.isEmpty() || options.isSet(optionNamed("timeout"));
    if (!line.timeoutGiven)
        return;
    bool ok = false;
    line.timeoutSeconds = line.timeoutText.toDouble(&ok);
    if (!ok || line.timeoutSeconds < 0 || line.timeoutSeconds > 86400)
        line.error = QStringLiteral("--timeout takes seconds, from 0 to 86400");
}

// What is wrong with line against its command's row: another command's
// option, a mistake worth naming, or too few or too many arguments.
QString usageProblem(const OptionParser &options, const CommandLine &line)
{
    for (const OptionRow &option : optionTable()) {
        if (!option.global && options.isSet(option) && !line.row->owns(option))
            return QStringLiteral("%1 is an option of %2").arg(optionDisplayName(option), commandsOwning(option));
    }
    const int count = line.arguments.size();
    if (count < line.row->leastArguments)
        return QStringLiteral("%1: missing argument (spiffs-cli %1 --help)").arg(line.command);
    if (line.row->mostArguments >= 0 && count > line.row->mostArguments)
        return QStringLiteral("%1: too many arguments (spiffs-cli %1 --help)").arg(line.command);
    return QString();
}

QString unknownCommand(const QString &command)
{
    const QString nearest = nearestCommand(command);
    return QStringLiteral("unknown command \"%1\"").arg(command)
           + (nearest.isEmpty() ? QString() : QStringLiteral("; did you mean \"%1\"?").arg(nearest));
}

} // namespace

CommandLine parseCommandLine(const QStringList &typed)
{
    CommandLine line;
    OptionParser options;
    const bool parsed = options.parser().parse(withHumanReadable(typed));
    // Known however the line ends: a usage error gets its document too.
    line.json = options.isSet(optionNamed("json"));
    line.quiet = options.isSet(optionNamed("quiet"));
    if (!parsed) {
        line.error = options.parser().errorText();
        line.command = firstWord(typed);
        return line;
    }
    line.help = options.isSet(optionNamed("help"));
    line.version = options.isSet(optionNamed("version"));
    line.arguments = options.parser().positionalArguments();
    if (!line.arguments.isEmpty())
        line.command = line.arguments.takeFirst();
    if (line.help || line.version)
        return line;
    line.row = findCommand(line.command);
    if (!line.row) {
        line.error = line.command.isEmpty() ? QStringLiteral("no command given") : unknownCommand(line.command);
        return line;
    }
    takeOptions(options, line);
    if (line.error.isEmpty())
        line.error = usageProblem(options, line);
    return line;
}

QVector<CommandLine> parseCommandChain(const QStringList &arguments)
{
    QVector<QStringList> parts{QStringList{arguments.value(0)}};
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("+"))
            parts << QStringList{arguments.value(0)};
        else
            parts.last() << arguments.at(i);
    }
    QVector<CommandLine> lines;
    for (const QStringList &part : std::as_const(parts)) {
        lines << parseCommandLine(part);
        lines.last().chainIndex = int(lines.size()) - 1;
        if (parts.size() > 1 && part.size() == 1)
            lines.last().error = QStringLiteral("a \"+\" with no command on one side of it");
    }
    if (lines.size() == 1)
        return lines;

    // What applies to the whole run, from whichever part gives it.
    CommandLine global = lines.constFirst();
    QString conflict;
    const auto take = [&](QString &into, const QString &value, const char *option) {
        if (value.isEmpty() || value == into)
            return;
        if (!into.isEmpty())
            conflict = QStringLiteral("%1 is given twice, differently; give it once").arg(QLatin1String(option));
        into = value;
    };
    for (const CommandLine &line : std::as_const(lines)) {
        take(global.port, line.port, "--port");
        take(global.traceFile, line.traceFile, "--trace");
        if (line.timeoutGiven) {
            if (global.timeoutGiven && global.timeoutSeconds != line.timeoutSeconds)
                conflict = QStringLiteral("--timeout is given twice, differently; give it once");
            global.timeoutGiven = true;
            global.timeoutSeconds = line.timeoutSeconds;
        }
        global.quiet = global.quiet || line.quiet;
        global.json = global.json || line.json;
    }
    for (CommandLine &line : lines) {
        line.port = global.port;
        line.traceFile = global.traceFile;
        line.timeoutSeconds = global.timeoutSeconds;
        line.timeoutGiven = global.timeoutGiven;
        line.quiet = global.quiet;
        line.json = global.json;
        if (line.error.isEmpty() && (line.help || line.version))
            line.error = QStringLiteral("--help and --version stand alone, not in a chain of commands");
        if (line.error.isEmpty())
            line.error = conflict;
    }
    return lines;
}

bool isCommand(const QString &name)
{
    return findCommand(name) != nullptr;
}
