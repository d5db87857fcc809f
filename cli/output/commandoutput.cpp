#include "cli/output/commandoutput.h"

#include "cli/line/commandline.h"
#include "cli/output/console.h"

#include <QtCore/QJsonDocument>

namespace {

void printJson(const QJsonObject &object)
{
    // Compact, so each document is one line: a chain of commands prints
    // JSON lines.
    Console::writeData(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

} // namespace

CommandOutput::CommandOutput(const CommandLine &line) : m_line(line)
{
}

void CommandOutput::note(const QString &message) const
{
    if (!m_line.quiet)
        Console::printError(message);
}

void CommandOutput::warn(const QString &message) const
{
    Console::printError(message);
}

void CommandOutput::addDone(const QJsonValue &what)
{
    m_doneList = true;
    m_done.append(what);
}

int CommandOutput::finish()
{
    return finish(ExitDone, nullptr);
}

int CommandOutput::finish(const CommandFailure &failure)
{
    for (const QString &message : failure.messages)
        Console::printError(message);
    for (const QString &warning : failure.warnings)
        Console::printError(warning);
    if (!failure.epilogue.isEmpty())
        Console::printStatus(failure.epilogue);
    return finish(failureRow(failure.kind).code, &failure);
}

int CommandOutput::finish(int status, const CommandFailure *failure)
{
    const Report *report = m_reportShown ? m_report.get() : nullptr;
    if (!m_line.json) {
        if (report)
            report->print();
        return status;
    }
    QJsonObject document = m_result;
    if (report)
        report->addTo(document);
    document.insert(QStringLiteral("command"), m_line.command);
    document.insert(QStringLiteral("exitStatus"), status);
    if (failure) {
        document.insert(QStringLiteral("error"),
                        QJsonObject{{QStringLiteral("kind"), QLatin1String(failureRow(failure->kind).kind)},
                                    {QStringLiteral("message"), failure->messages.constFirst()}});
    } else {
        document.insert(QStringLiteral("error"), QJsonValue());
    }
    if (m_doneList)
        document.insert(QStringLiteral("done"), m_done);
    printJson(document);
    return status;
}
