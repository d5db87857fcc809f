// Values of the operation register. The register names the operation whose
// reply is awaited; empty means idle. Each value is one of the core's
// exchanges, which traces, time-outs and the rest of a cut reply are
// reckoned by; exchangeOf() is the one place that says which.
#ifndef OPERATION_H
#define OPERATION_H

#include "core/exchange.h"

#include <QtCore/QString>

namespace Operation {
inline const QString Idle;
inline const QString Memory = QStringLiteral("MEMORY");
inline const QString List = QStringLiteral("LIST");
inline const QString Download = QStringLiteral("DOWNLOAD");
inline const QString Upload = QStringLiteral("UPLOAD");
inline const QString Remove = QStringLiteral("REMOVE");
inline const QString Erase = QStringLiteral("ERASE");
inline const QString Execute = QStringLiteral("EXECUTE");
inline const QString Reboot = QStringLiteral("REBOOT");

// The exchange a register value stands for; Idle for the empty register.
// The register never holds anything else: a value that is none of these is
// a fault of the program, said on standard error, and counts as Idle.
Exchange exchangeOf(const QString &value);
}

#endif // OPERATION_H
