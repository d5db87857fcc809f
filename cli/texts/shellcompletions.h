// The shell completions for bash, zsh and fish, made from the tables of
// commandtable.h at build time (spiffs-cli-generate), so that they cannot
// drift from the program.
#ifndef SHELLCOMPLETIONS_H
#define SHELLCOMPLETIONS_H

#include <QtCore/QString>

enum class Shell { Bash, Zsh, Fish };

QString completionScript(Shell shell);

#endif // SHELLCOMPLETIONS_H
