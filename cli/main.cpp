// spiffs-cli: the receiver's SPIFFS from a shell or a script.
#include "cli/clitool.h"
#include "cli/names/localfiles.h"

#include <QtCore/QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("spiffs-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPIFFS_VERSION));
    QVector<QByteArray> undecodable;
#ifdef Q_OS_UNIX
    // Qt decodes the arguments as the locale says, replacing what does not
    // fit; elsewhere they come whole from the system.
    for (int index = 1; index < argc; ++index) {
        if (!decodesUnchanged(argv[index]))
            undecodable << argv[index];
    }
#endif
    return runCli(QCoreApplication::arguments(), undecodable);
}
