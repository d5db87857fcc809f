#include "cli/texts/manualsections.h"

#include "cli/table/commandtable.h"
#include "cli/line/failures.h"
#include "cli/line/options.h"

#include <QtCore/QPair>
#include <QtCore/QRegularExpression>
#include <QtCore/QVector>

namespace {

QString escapedForTroff(QString text)
{
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\e")).replace(QLatin1Char('-'), QStringLiteral("\\-"));
}

// Running text, a line of the source each: a line that would start with a
// control character is held back by "\&"; a blank line starts a paragraph
// at the indent of the entry it is in.
QString runningText(const QString &text)
{
    QString troff;
    for (const QString &line : text.trimmed().split(QLatin1Char('\n'))) {
        if (line.isEmpty())
            troff += QStringLiteral(".IP\n");
        else if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            troff += QStringLiteral("\\&") + escapedForTroff(line) + QLatin1Char('\n');
        else
            troff += escapedForTroff(line) + QLatin1Char('\n');
    }
    return troff;
}

// An option as a tag: ".BR \-l ", " \-\-long", and its value in italics.
QString optionTag(const OptionRow &option)
{
    QStringList names;
    for (const QString &name : optionNames(option))
        names << escapedForTroff(name);
    const QString value = *option.valueName ? QStringLiteral(" \" \\fI%1\\fR\"").arg(QLatin1String(option.valueName)) : QString();
    if (names.size() == 1 && value.isEmpty())
        return QStringLiteral(".B %1\n").arg(names.constFirst());
    return QStringLiteral(".BR %1%2\n").arg(names.join(QStringLiteral(" \", \" ")), value);
}

QString synopsisSection()
{
    QString troff = QStringLiteral(".B spiffs-cli\n");
    for (const QString &shown : usageOptions()) {
        const QString name = escapedForTroff(shown.section(QLatin1Char(' '), 0, 0));
        const QString value = shown.section(QLatin1Char(' '), 1);
        troff += value.isEmpty() ? QStringLiteral(".RB [ %1 ]\n").arg(name)
                                 : QStringLiteral(".RB [ %1\n.IR %2 ]\n").arg(name, value);
    }
    return troff + QStringLiteral(".I COMMAND\n.RI [ ARGS ]\n.RB [ +\n.I COMMAND\n.RI [ ARGS ]]...\n"
                                  ".br\n.B spiffs-cli\n.I COMMAND\n.B \\-\\-help\n"
                                  ".br\n.B spiffs-cli\n.BR \\-\\-help \" | \" \\-\\-version\n");
}

QString commandsSection()
{
    QString troff;
    for (const CommandRow &command : commandTable()) {
        troff += QStringLiteral(".TP\n") + synopsisInFonts(QLatin1String(command.synopsis)) + QLatin1Char('\n');
        troff += runningText(QLatin1String(command.details));
        if (!*command.options)
            continue;
        troff += QStringLiteral(".RS\n");
        for (const OptionRow &option : optionTable()) {
            if (!option.global && command.owns(option))
                troff += QStringLiteral(".TP\n") + optionTag(option) + runningText(QLatin1String(option.help));
        }
        troff += QStringLiteral(".RE\n");
    }
    return troff;
}

// The options of the whole run, as sentences.
QString optionsSection()
{
    QString troff;
    for (const OptionRow &option : optionTable()) {
        if (!option.global)
            continue;
        QString help = QString::fromLatin1(option.help);
        help[0] = help.at(0).toUpper();
        if (!help.endsWith(QLatin1Char('.')))
            help += QLatin1Char('.');
        troff += QStringLiteral(".TP\n") + optionTag(option) + runningText(help);
        if (*option.details)
            troff += runningText(QLatin1String(option.details));
    }
    return troff;
}

QString exitStatusSection()
{
    QString table = QStringLiteral(".TP\n.B 0\nDone.\n");
    int lastCode = -1;
    for (const FailureRow *row : failuresByExitStatus()) {
        if (row->code != lastCode)
            table += QStringLiteral(".TP\n.B %1\n").arg(int(row->code));
        else
            table += QStringLiteral(".br\n");
        QString meaning = QString::fromLatin1(row->meaning).replace(QLatin1Char('\n'), QLatin1Char(' '));
        meaning[0] = meaning.at(0).toUpper();
        table += escapedForTroff(meaning) + QStringLiteral(" [%1].\n").arg(escapedForTroff(QLatin1String(row->kind)));
        lastCode = row->code;
    }
    return table;
}

} // namespace

QString synopsisInFonts(const QString &synopsis)
{
    // The command's name, options, the words it stands for, and the rest.
    static const QRegularExpression token(QStringLiteral("^[a-z]+|-{1,2}[a-z-]+|[A-Z][A-Z0-9_]*|[^a-zA-Z-]+|."));
    QString troff;
    for (auto match = token.globalMatch(synopsis); match.hasNext();) {
        const QString part = match.next().captured();
        if (part.at(0).isUpper())
            troff += QStringLiteral("\\fI%1\\fR").arg(part);
        else if (part.at(0).isLower() || part.startsWith(QLatin1Char('-')))
            troff += QStringLiteral("\\fB%1\\fR").arg(escapedForTroff(part));
        else
            troff += escapedForTroff(part);
    }
    return troff;
}

QString readmeCommandTable()
{
    QString table = QStringLiteral("| Command | What it does |\n|---|---|\n");
    for (const CommandRow &command : commandTable()) {
        table += QStringLiteral("| `%1` | %2 |\n")
                         .arg(QString::fromLatin1(command.synopsis).replace(QLatin1Char('|'), QStringLiteral("\\|")),
                              QString::fromLatin1(command.summary).replace(QLatin1Char('|'), QStringLiteral("\\|")));
    }
    return table;
}

std::optional<QString> manualPage(const QString &source)
{
    QString page = source;
    const QVector<QPair<const char *, QString>> sections = {
            {SynopsisMarker, synopsisSection()}, {CommandsMarker, commandsSection()}, {OptionsMarker, optionsSection()},
            {ExitStatusMarker, exitStatusSection()}};
    for (const auto &[marker, text] : sections) {
        const QString line = QLatin1String(marker) + QLatin1Char('\n');
        if (!page.contains(line))
            return std::nullopt;
        page.replace(line, text);
    }
    return page;
}
