// spiffs-emulator-generate: writes spiffs-emulator's manual page at build
// time, its OPTIONS section made from the table the parser and --help use.
//
//   spiffs-emulator-generate SOURCE OUTPUT
#include "optiontable.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fputs("usage: spiffs-emulator-generate SOURCE OUTPUT\n", stderr);
        return 2;
    }
    QFile source(arguments.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "spiffs-emulator-generate: cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    const std::optional<QString> page = emulatorManualPage(QString::fromUtf8(source.readAll()));
    if (!page) {
        std::fprintf(stderr, "spiffs-emulator-generate: %s lacks a line %s\n", qPrintable(arguments.at(1)), OptionsMarker);
        return 1;
    }
    QSaveFile output(arguments.at(2));
    const QByteArray bytes = page->toUtf8();
    if (!output.open(QIODevice::WriteOnly) || output.write(bytes) != bytes.size() || !output.commit()) {
        std::fprintf(stderr, "spiffs-emulator-generate: cannot write %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    return 0;
}
