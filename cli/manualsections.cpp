#include "manualsections.h"

#include "commandtable.h"
#include "failures.h"

namespace {

QString escapedForTroff(QString text)
{
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\e")).replace(QLatin1Char('-'), QStringLiteral("\\-"));
}

} // namespace

QString manualPage(const QString &source)
{
    QString table = QStringLiteral(".TP\n.B 0\nDone.\n");
    int lastCode = -1;
    for (ExitCode code : {ExitFailed, ExitUsage, ExitPort, ExitNoAnswer, ExitMismatch, ExitInterrupted, ExitTerminated}) {
        for (const FailureRow &row : failureTable()) {
            if (row.code != code)
                continue;
            if (code != lastCode)
                table += QStringLiteral(".TP\n.B %1\n").arg(int(code));
            else
                table += QStringLiteral(".br\n");
            QString meaning = QString::fromLatin1(row.meaning).replace(QLatin1Char('\n'), QLatin1Char(' '));
            meaning[0] = meaning.at(0).toUpper();
            table += escapedForTroff(meaning) + QStringLiteral(" [%1].\n").arg(escapedForTroff(QLatin1String(row.kind)));
            lastCode = code;
        }
    }
    QString page = source;
    return page.replace(QStringLiteral("@EXIT_STATUS@\n"), table);
}
