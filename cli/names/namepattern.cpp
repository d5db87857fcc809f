#include "cli/names/namepattern.h"

namespace NamePattern {

namespace {

// Matches the bracket expression starting at pattern[at] ("[") against c.
// Returns the index after its "]", or -1 when the bracket is not closed and
// so stands for itself.
int matchBracket(const QString &pattern, int at, QChar c, bool *matched)
{
    int i = at + 1;
    bool negated = false;
    if (i < pattern.size() && (pattern.at(i) == QLatin1Char('!') || pattern.at(i) == QLatin1Char('^'))) {
        negated = true;
        ++i;
    }
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (first || pattern.at(i) != QLatin1Char(']'))) {
        first = false;
        QChar low = pattern.at(i);
        if (low == QLatin1Char('\\') && i + 1 < pattern.size())
            low = pattern.at(++i);
        QChar high = low;
        if (i + 2 < pattern.size() && pattern.at(i + 1) == QLatin1Char('-') && pattern.at(i + 2) != QLatin1Char(']')) {
            high = pattern.at(i + 2);
            i += 2;
        }
        if (c >= low && c <= high)
            found = true;
        ++i;
    }
    if (i >= pattern.size())
        return -1;
    *matched = found != negated;
    return i + 1;
}

} // namespace

bool isPattern(const QString &text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
            return true;
    }
    return false;
}

bool matches(const QString &pattern, const QString &name)
{
    int p = 0;
    int n = 0;
    // Where to resume after the last "*" when what follows it fails: one
    // star to go back to is enough, as a later one takes over from it.
    int starP = -1;
    int starN = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            const QChar token = pattern.at(p);
            if (token == QLatin1Char('*')) {
                starP = ++p;
                starN = n;
                continue;
            }
            if (token == QLatin1Char('?')) {
                ++p;
                ++n;
                continue;
            }
            if (token == QLatin1Char('[')) {
                bool matched = false;
                const int next = matchBracket(pattern, p, name.at(n), &matched);
                if (next >= 0) {
                    if (matched) {
                        p = next;
                        ++n;
                        continue;
                    }
                } else if (name.at(n) == token) {
                    ++p;
                    ++n;
                    continue;
                }
            } else {
                QChar literal = token;
                int next = p + 1;
                if (token == QLatin1Char('\\') && p + 1 < pattern.size()) {
                    literal = pattern.at(p + 1);
                    next = p + 2;
                }
                if (name.at(n) == literal) {
                    p = next;
                    ++n;
                    continue;
                }
            }
        }
        if (starP < 0)
            return false;
        p = starP;
        n = ++starN;
    }
    while (p < pattern.size() && pattern.at(p) == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace NamePattern
