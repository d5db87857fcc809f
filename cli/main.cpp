// spiffs-cli: the receiver's SPIFFS from a shell or a script.
#include "cli/clitool.h"

#include <QtCore/QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("spiffs-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPIFFS_VERSION));
    return runCli(QCoreApplication::arguments());
}
