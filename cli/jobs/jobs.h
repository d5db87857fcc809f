// The functions of the command table's rows (commandtable.cpp) for the jobs
// over the whole receiver, a file each: the job itself, and what can be
// checked before the receiver is asked. Each returns when it went well and
// throws a CommandFailure when it did not.
#ifndef JOBS_H
#define JOBS_H

struct CommandContext;

void runBackup(const CommandContext &context);
void runRestore(const CommandContext &context);
void runSync(const CommandContext &context);
void checkSync(const CommandContext &context);

#endif // JOBS_H
