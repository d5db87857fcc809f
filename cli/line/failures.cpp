#include "cli/line/failures.h"

#include <QtCore/QtGlobal>

#include <algorithm>

const std::vector<FailureRow> &failureTable()
{
    static const std::vector<FailureRow> table = {
        {Failure::Usage, "usage", ExitUsage,
         "bad usage: an unknown command or option, a missing argument, a name typed\n"
         "that the receiver cannot take"},
        {Failure::Unconfirmed, "unconfirmed", ExitUsage,
         "erasing without --yes and with no terminal to ask on: format, rm of more than\n"
         "one file, restore --clean or sync --delete that would remove files"},
        {Failure::LocalFile, "local-file", ExitFailed,
         "a local file or folder cannot be used (missing, not a regular file or folder,\n"
         "unreadable, unwritable, a link leading out of DIR)"},
        {Failure::NoSuchFile, "no-such-file", ExitFailed, "the receiver holds no such file, or none that matches"},
        {Failure::Refused, "refused", ExitFailed, "the receiver refused (no room, a name or type it does not take)"},
        {Failure::BadReply, "bad-reply", ExitFailed, "the receiver's answer does not fit the request"},
        {Failure::Incomplete, "incomplete", ExitFailed,
         "a job found a difference, skipped a file, did not fit, or met a name that\n"
         "cannot be restored"},
        {Failure::Exists, "exists", ExitFailed, "a file of that name is in the way (mv without --force)"},
        {Failure::Declined, "declined", ExitFailed, "the question before erasing was not answered yes"},
        {Failure::Port, "port", ExitPort, "the port is missing, ambiguous, busy or not permitted"},
        {Failure::LineLost, "line-lost", ExitPort, "the line was lost (unplugged, hung up)"},
        {Failure::NoAnswer, "no-answer", ExitNoAnswer, "no answer from the receiver within --timeout"},
        {Failure::Mismatch, "mismatch", ExitMismatch, "the receiver's copy differs (verify, put --verify, mv, edit)"},
        {Failure::Interrupted, "interrupted", ExitInterrupted, "interrupted (Ctrl-C)"},
        {Failure::Terminated, "terminated", ExitTerminated, "terminated (SIGTERM or a hang-up of the terminal)"},
    };
    return table;
}

void failIfAny(Failure kind, const QStringList &messages)
{
    if (messages.isEmpty())
        return;
    CommandFailure failure(kind, messages.constFirst());
    failure.messages = messages;
    throw failure;
}

std::vector<const FailureRow *> failuresByExitStatus()
{
    std::vector<const FailureRow *> rows;
    for (const FailureRow &row : failureTable())
        rows.push_back(&row);
    std::stable_sort(rows.begin(), rows.end(), [](const FailureRow *a, const FailureRow *b) { return a->code < b->code; });
    return rows;
}

const FailureRow &failureRow(Failure failure)
{
    const std::vector<FailureRow> &table = failureTable();
    for (const FailureRow &row : table) {
        if (row.failure == failure)
            return row;
    }
    Q_UNREACHABLE();
    return table.front();
}
