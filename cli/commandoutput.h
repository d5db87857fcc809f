// What one command says: its failures (on standard error, and as the exit
// status the failure table gives), its notes, and with --json the one
// document that reports it, printed on a line of its own when it ends,
// however it ends:
//
//   {"command": "get", "exitStatus": 0, "error": null, ..., "done": [...]}
//
// "error" is null or {"kind": ..., "message": ...}; the command's own
// fields (the files listed, the figures) come beside them; "done" holds
// what the command finished before it failed, where that can be more than
// one thing.
#ifndef COMMANDOUTPUT_H
#define COMMANDOUTPUT_H

#include "failures.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>

#include <optional>

struct CommandLine;

class CommandOutput
{
public:
    explicit CommandOutput(const CommandLine &line);

    // Says what failed and returns the exit status; the first failure is
    // the one the document reports.
    int fail(Failure failure, const QString &message);
    bool hasFailed() const { return m_failure.has_value(); }

    // A note a person wants and a script can do without: not with -q.
    void note(const QString &message) const;
    // A warning that does not end the command: always said.
    void warn(const QString &message) const;

    QJsonObject &result() { return m_result; }
    // Something finished: a file saved, sent, removed.
    void addDone(const QJsonValue &what);
    void keepDoneList() { m_doneList = true; }

    // Prints the document with --json; returns status.
    int finish(int status);

private:
    const CommandLine &m_line;
    std::optional<Failure> m_failure;
    QString m_message;
    QJsonObject m_result;
    QJsonArray m_done;
    bool m_doneList = false;
};

#endif // COMMANDOUTPUT_H
