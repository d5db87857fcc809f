// Every way a spiffs-cli command can fail, in one table that gives each its
// exit status, the kind --json reports, and the words the help and the
// manual say it in.
#ifndef FAILURES_H
#define FAILURES_H

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

#endif // FAILURES_H
