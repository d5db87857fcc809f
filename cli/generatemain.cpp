// spiffs-cli-generate: writes what is made from spiffs-cli's tables at
// build time.
//
//   spiffs-cli-generate completion bash|zsh|fish OUTPUT
//   spiffs-cli-generate manual SOURCE OUTPUT
//   spiffs-cli-generate readme-commands OUTPUT   (README's table of commands)
#include "cli/texts/manualsections.h"
#include "cli/texts/shellcompletions.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QString text;
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("completion")) {
        const QString shell = arguments.at(2);
        if (shell == QLatin1String("bash"))
            text = completionScript(Shell::Bash);
        else if (shell == QLatin1String("zsh"))
            text = completionScript(Shell::Zsh);
        else if (shell == QLatin1String("fish"))
            text = completionScript(Shell::Fish);
    } else if (arguments.size() == 3 && arguments.at(1) == QLatin1String("readme-commands")) {
        text = readmeCommandTable();
    } else if (arguments.size() == 4 && arguments.at(1) == QLatin1String("manual")) {
        QFile source(arguments.at(2));
        if (!source.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "spiffs-cli-generate: cannot read %s\n", qPrintable(arguments.at(2)));
            return 1;
        }
        const std::optional<QString> page = manualPage(QString::fromUtf8(source.readAll()));
        if (!page) {
            std::fprintf(stderr, "spiffs-cli-generate: %s lacks a line %s, %s, %s or %s\n", qPrintable(arguments.at(2)),
                         SynopsisMarker, CommandsMarker, OptionsMarker, ExitStatusMarker);
            return 1;
        }
        text = *page;
    }
    if (text.isEmpty()) {
        std::fputs("usage: spiffs-cli-generate completion bash|zsh|fish OUTPUT | manual SOURCE OUTPUT | readme-commands "
                   "OUTPUT\n",
                   stderr);
        return 2;
    }
    QSaveFile output(arguments.constLast());
    const QByteArray bytes = text.toUtf8();
    if (!output.open(QIODevice::WriteOnly) || output.write(bytes) != bytes.size() || !output.commit()) {
        std::fprintf(stderr, "spiffs-cli-generate: cannot write %s\n", qPrintable(arguments.constLast()));
        return 1;
    }
    return 0;
}
