// The functions of the command table's rows (commandtable.cpp) for the
// commands of one file or none: the command itself, and what can be checked
// before the receiver is asked. Each returns when it went well and throws a
// CommandFailure when it did not. The jobs over the whole receiver are in
// jobs.h.
#ifndef COMMANDS_H
#define COMMANDS_H

struct CommandContext;

// What the system and the receiver hold (catalogcommands.cpp).
void runPorts(const CommandContext &context);
void runDf(const CommandContext &context);
void runLs(const CommandContext &context);

// Files to and from the receiver (transfercommands.cpp).
void runGet(const CommandContext &context);
void runCat(const CommandContext &context);
void runPut(const CommandContext &context);
void runVerify(const CommandContext &context);
void checkPut(const CommandContext &context);

// A file changed in place (mvedit.cpp).
void runMv(const CommandContext &context);
void runEdit(const CommandContext &context);
void checkMv(const CommandContext &context);
void checkEdit(const CommandContext &context);

// The receiver's own commands (devicecommands.cpp).
void runRm(const CommandContext &context);
void runFormat(const CommandContext &context);
void runRun(const CommandContext &context);
void runReboot(const CommandContext &context);
void checkRm(const CommandContext &context);
void checkFormat(const CommandContext &context);
void checkRun(const CommandContext &context);

#endif // COMMANDS_H
