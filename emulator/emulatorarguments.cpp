#include "emulatorarguments.h"

#include "optiontable.h"

#include <QtCore/QCommandLineParser>

ParsedArguments parseEmulatorArguments(const QStringList &arguments)
{
    ParsedArguments parsed;
    QCommandLineParser parser;
    parser.setApplicationDescription(emulatorDescription());
    for (const EmulatorOptionRow &row : emulatorOptionTable()) {
        QStringList names{QLatin1String(row.longName)};
        if (*row.shortName)
            names.prepend(QLatin1String(row.shortName));
        parser.addOption(QCommandLineOption(names, row.help, QLatin1String(row.valueName)));
    }
    parsed.helpText = parser.helpText();

    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parsed.helpRequested = true;
        return parsed;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parsed.versionRequested = true;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return parsed;
    }

    for (const EmulatorOptionRow &row : emulatorOptionTable()) {
        const QString name = QLatin1String(row.longName);
        if (!row.store || !parser.isSet(name))
            continue;
        const QString wanted = row.store(parser.values(name), parsed.options);
        if (!wanted.isEmpty()) {
            parsed.error = QStringLiteral("--%1 takes %2").arg(name, wanted);
            return parsed;
        }
    }
    if (parser.isSet(QStringLiteral("replay"))) {
        for (const EmulatorOptionRow &row : emulatorOptionTable()) {
            if (!row.withReplay && parser.isSet(QLatin1String(row.longName))) {
                parsed.error = QStringLiteral("--replay plays the trace as recorded: it takes no --%1")
                                       .arg(QLatin1String(row.longName));
                return parsed;
            }
        }
    }
    return parsed;
}
