// Shell-style patterns over device names: "*" (any run of characters, "/"
// included, since the receiver's names are flat), "?" (one character) and
// "[...]" (one of a set; "[!...]" or "[^...]" one not in it; "a-z" ranges).
// A backslash takes the next character as it is.
#ifndef NAMEPATTERN_H
#define NAMEPATTERN_H

#include <QtCore/QString>

namespace NamePattern {

bool isPattern(const QString &text);
bool matches(const QString &pattern, const QString &name);

} // namespace NamePattern

#endif // NAMEPATTERN_H
