// Values of the operation register. The register names the operation whose
// reply is awaited; empty means idle.
#ifndef OPERATION_H
#define OPERATION_H

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
}

#endif // OPERATION_H
