// Text made from the tables of commandtable.h at build time, so that it
// cannot drift from the program: the shell completions for bash, zsh and
// fish, and the exit status section of the manual page.
#ifndef GENERATED_H
#define GENERATED_H

#include <QtCore/QString>

enum class Shell { Bash, Zsh, Fish };

QString completionScript(Shell shell);

// The manual page's source with the line "@EXIT_STATUS@" replaced by the
// table of exit statuses.
QString manualPage(const QString &source);

#endif // GENERATED_H
