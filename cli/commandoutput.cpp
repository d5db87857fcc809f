#include "commandoutput.h"

#include "commandline.h"
#include "console.h"

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

int CommandOutput::fail(Failure failure, const QString &message)
{
    Console::printError(message);
    if (!m_failure) {
        m_failure = failure;
        m_message = message;
    }
    return failureRow(failure).code;
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

int CommandOutput::finish(int status)
{
    if (!m_line.json)
        return status;
    QJsonObject document = m_result;
    document.insert(QStringLiteral("command"), m_line.command);
    document.insert(QStringLiteral("exitStatus"), status);
    if (status == ExitDone) {
        document.insert(QStringLiteral("error"), QJsonValue());
    } else {
        // Every failure goes through fail(); the table's first kind for the
        // status stands in should one not have.
        const char *kind = "usage";
        for (const FailureRow &row : failureTable()) {
            if (row.code == status) {
                kind = row.kind;
                break;
            }
        }
        if (m_failure)
            kind = failureRow(*m_failure).kind;
        document.insert(QStringLiteral("error"),
                        QJsonObject{{QStringLiteral("kind"), QLatin1String(kind)}, {QStringLiteral("message"), m_message}});
    }
    if (m_doneList)
        document.insert(QStringLiteral("done"), m_done);
    printJson(document);
    return status;
}
