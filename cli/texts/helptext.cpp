#include "cli/texts/helptext.h"

#include "cli/table/commandtable.h"
#include "cli/line/failures.h"

#include <QtCore/QVector>

#include <algorithm>

namespace {

// Lines after the first go under the first, at column.
QString indentedText(const char *text, int column)
{
    QString indented = QLatin1String(text);
    indented.replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(column, QLatin1Char(' ')));
    return indented;
}

// The options that pass, one each with its help under "Options:", in a
// column as wide as the longest names need.
template<typename Predicate>
QString optionsText(Predicate passes)
{
    QVector<QPair<QString, const char *>> rows;
    int width = 15;
    for (const OptionRow &option : optionTable()) {
        if (!passes(option))
            continue;
        QString names = *option.shortName ? QStringLiteral("-%1, ").arg(QLatin1String(option.shortName)) : QString();
        // After ls and df, -h is --human-readable.
        if (option.is("human-readable"))
            names = QStringLiteral("-h, ");
        names += QStringLiteral("--") + QLatin1String(option.longName);
        if (*option.valueName)
            names += QLatin1Char(' ') + QLatin1String(option.valueName);
        width = std::max(width, int(names.size()));
        rows.append({names, option.help});
    }
    QString text = QStringLiteral("Options:\n");
    for (const auto &row : std::as_const(rows))
        text += QStringLiteral("  %1  %2\n").arg(row.first, -width).arg(indentedText(row.second, width + 4));
    return text;
}

QString globalOptionsText()
{
    return optionsText([](const OptionRow &option) { return option.global; });
}

QString exitStatusText()
{
    constexpr int CodeWidth = 5;
    QString text = QStringLiteral("Exit status:\n  %1done\n").arg(int(ExitDone), -CodeWidth);
    int lastCode = -1;
    for (const FailureRow *row : failuresByExitStatus()) {
        const QString column = row->code == lastCode ? QString(CodeWidth, QLatin1Char(' '))
                                                      : QStringLiteral("%1").arg(int(row->code), -CodeWidth);
        text += QStringLiteral("  %1%2\n").arg(column, indentedText(row->meaning, CodeWidth + 2));
        lastCode = row->code;
    }
    return text;
}

} // namespace

QString helpText(const QString &command)
{
    // A command's own help leaves what every command shares to the general one.
    if (const CommandRow *row = findCommand(command)) {
        QString text = QStringLiteral("Usage: spiffs-cli [OPTIONS] %1\n\n%2\n")
                               .arg(QLatin1String(row->synopsis), QLatin1String(row->details));
        if (*row->options)
            text += optionsText([row](const OptionRow &option) { return !option.global && row->owns(option); })
                    + QLatin1Char('\n');
        return text + QStringLiteral("Options for all commands, chains with \"+\", exit statuses: spiffs-cli --help\n");
    }
    QString text = QStringLiteral("Usage: spiffs-cli [%1] COMMAND [ARGS]\n"
                                  "                  [+ COMMAND [ARGS]]...\n"
                                  "\n"
                                  "Reads and writes the SPIFFS flash of an ESP32 SI473X receiver over its USB serial port.\n"
                                  "Data goes to standard output, messages to standard error. Commands joined by a lone\n"
                                  "\"+\" run in order on one opening of the port and stop at the first that fails. A\n"
                                  "chain is checked whole before anything is sent: every part's usage, typed names and\n"
                                  "flags (--yes where it erases); what needs the receiver is checked at its turn.\n"
                                  "\n"
                                  "Commands:\n")
                           .arg(usageOptions().join(QStringLiteral("] [")));
    for (const CommandRow &row : commandTable()) {
        const QString synopsis = QLatin1String(row.synopsis);
        // A long synopsis has its summary on the next line, in the column.
        const QString gap = synopsis.size() > 30 ? QStringLiteral("\n") + QString(33, QLatin1Char(' ')) : QStringLiteral(" ");
        text += QStringLiteral("  %1%2%3\n").arg(synopsis, -30).arg(gap, QLatin1String(row.summary));
    }
    return text + QLatin1Char('\n') + globalOptionsText() + QLatin1Char('\n') + exitStatusText();
}
