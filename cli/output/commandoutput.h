// What one command says: its notes and warnings on standard error as they
// come, and when it ends, however it ends, its outcome: a failure on
// standard error with the exit status the failure table gives, and with
// --json the one document that reports it, on a line of its own:
//
//   {"command": "get", "exitStatus": 0, "error": null, ..., "done": [...]}
//
// "error" is null or {"kind": ..., "message": ...}; the command's own
// fields (the files listed, the figures) come beside them; "done" holds
// what the command finished before it failed, where that can be more than
// one thing.
#ifndef COMMANDOUTPUT_H
#define COMMANDOUTPUT_H

#include "cli/line/failures.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>

#include <memory>

struct CommandLine;

class CommandOutput
{
public:
    // What a job reports, however it ends: lines on standard output, or
    // fields of the document.
    class Report
    {
    public:
        virtual ~Report() = default;
        virtual void addTo(QJsonObject &document) const = 0;
        virtual void print() const = 0;
    };

    explicit CommandOutput(const CommandLine &line);

    // A note a person wants and a script can do without: not with -q.
    void note(const QString &message) const;
    // A warning that does not end the command: always said.
    void warn(const QString &message) const;

    QJsonObject &result() { return m_result; }
    // Something finished: a file saved, sent, removed.
    void addDone(const QJsonValue &what);
    void keepDoneList() { m_doneList = true; }
    // Keeps report until the command ends; from showReport() on, the end
    // brings its lines or fields, however it ends.
    template<typename T>
    T &keepReport(std::unique_ptr<T> report)
    {
        T &kept = *report;
        m_report = std::move(report);
        return kept;
    }
    void showReport() { m_reportShown = true; }

    // The command's end: it went well, or failure ended it. Says what there
    // is to say and returns the exit status.
    int finish();
    int finish(const CommandFailure &failure);

private:
    int finish(int status, const CommandFailure *failure);

    const CommandLine &m_line;
    QJsonObject m_result;
    QJsonArray m_done;
    bool m_doneList = false;
    std::unique_ptr<Report> m_report;
    bool m_reportShown = false;
};

#endif // COMMANDOUTPUT_H
