// Before a command erases anything on the receiver: with --yes it goes
// ahead; on a terminal it asks (y or yes goes ahead); without one nothing is
// erased unasked, and the refusal says what would go and the flag to add.
#ifndef ERASING_H
#define ERASING_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

struct CommandContext;

// What a command would erase, for the question before it and the refusal.
struct Erasure
{
    QString question;    // asked on a terminal: "Remove 3 files from the receiver (...)?"
    QString summary;     // the refusal's start: "rm: 3 files would be removed: a.txt, ..."
    QString nothingDone; // "nothing removed"
    QStringList names;   // what would go, for --json; empty when it is everything
};

// Throws the refusal when there is neither --yes nor a terminal to ask on;
// scripts never erase unasked.
void refuseUnconfirmed(const CommandContext &context, const Erasure &erasure);

// Asks on a terminal unless --yes was given, and throws unless the answer
// is yes; without a terminal, refuseUnconfirmed().
void confirmErasure(const CommandContext &context, const Erasure &erasure);

// Before restore --clean or sync --delete removes anything. which says what
// goes: "from the receiver that the backup lacks".
void confirmRemovals(const CommandContext &context, const QVector<QByteArray> &removals, const QString &which);

#endif // ERASING_H
