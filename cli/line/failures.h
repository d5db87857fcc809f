// Every way a spiffs-cli command can fail, in one table that gives each its
// exit status, the kind --json reports, and the words the help and the
// manual say it in; and the one value a failure travels as.
#ifndef FAILURES_H
#define FAILURES_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

enum ExitCode : int {
    ExitDone = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitPort = 3,
    ExitNoAnswer = 4,
    ExitMismatch = 5,
    ExitInterrupted = 130,
    ExitTerminated = 143,
};

enum class Failure {
    Usage,
    Unconfirmed,
    LocalFile,
    NoSuchFile,
    Refused,
    BadReply,
    Incomplete,
    Exists,
    Declined,
    Port,
    LineLost,
    NoAnswer,
    Mismatch,
    Interrupted,
    Terminated,
};

struct FailureRow
{
    Failure failure;
    const char *kind; // as --json names it
    ExitCode code;
    const char *meaning;
};
const std::vector<FailureRow> &failureTable();
const FailureRow &failureRow(Failure failure);
// The rows in the order the help and the manual give them: by exit status,
// the table's order within one.
std::vector<const FailureRow *> failuresByExitStatus();

// A command's failure: a step throws it, and runCli() catches it once and
// has CommandOutput::finish() turn it into standard error, the exit status
// and the JSON document (beside what was done before it). Never thrown
// through the event loop: only from a command's own code.
struct CommandFailure
{
    CommandFailure(Failure kind, const QString &message) : kind(kind), messages{message} {}

    Failure kind;
    QStringList messages; // said in order; the first is the document's
    QStringList warnings; // said after them: what to look at next
    QString epilogue;     // said as it is, last
};

// Throws a failure of kind for every message, when there is one.
void failIfAny(Failure kind, const QStringList &messages);

#endif // FAILURES_H
