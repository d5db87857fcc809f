// The functions of each row of the command table (commandtable.cpp): the
// command itself, and what can be checked before the receiver is asked.
#ifndef COMMANDS_H
#define COMMANDS_H

struct CommandContext;

// What the system and the receiver hold (catalogcommands.cpp).
int runPorts(const CommandContext &context);
int runDf(const CommandContext &context);
int runLs(const CommandContext &context);

// Files to and from the receiver (transfercommands.cpp).
int runGet(const CommandContext &context);
int runCat(const CommandContext &context);
int runPut(const CommandContext &context);
int runVerify(const CommandContext &context);
int checkPut(const CommandContext &context);

// A file changed in place (mvedit.cpp).
int runMv(const CommandContext &context);
int runEdit(const CommandContext &context);
int checkMv(const CommandContext &context);
int checkEdit(const CommandContext &context);

// The receiver's own commands (devicecommands.cpp).
int runRm(const CommandContext &context);
int runFormat(const CommandContext &context);
int runRun(const CommandContext &context);
int runReboot(const CommandContext &context);
int checkRm(const CommandContext &context);
int checkFormat(const CommandContext &context);
int checkRun(const CommandContext &context);

// Jobs over the whole receiver, a file each.
int runBackup(const CommandContext &context);
int runRestore(const CommandContext &context);
int runSync(const CommandContext &context);
int checkSync(const CommandContext &context);

#endif // COMMANDS_H
