#include "cli/commands/editorlaunch.h"

EditorLaunch editorLaunch(const QString &chosen, const QString &path, PortOpening::Desktop desktop,
                          const QString &commandInterpreter)
{
    const bool none = chosen.trimmed().isEmpty();
    if (desktop != PortOpening::Desktop::Windows) {
        const QString editor = none ? QStringLiteral("vi") : chosen;
        return {QStringLiteral("/bin/sh"), {QStringLiteral("-c"), editor + QStringLiteral(" \"$@\""), editor, path},
                QString(), editor};
    }
    // Notepad and cmd.exe want backslashes, whichever host made the path.
    QString file = path;
    file.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (none)
        return {QStringLiteral("notepad.exe"), {file}, QString(), QStringLiteral("notepad")};
    // /s: cmd takes what is between the first and the last quote as the
    // command line, as typed; /d: no AutoRun commands first.
    const QString shell = commandInterpreter.isEmpty() ? QStringLiteral("cmd.exe") : commandInterpreter;
    return {shell, {}, QStringLiteral("/d /s /c \"%1 \"%2\"\"").arg(chosen, file), chosen};
}

QString chosenEditor()
{
    for (const char *variable : {"VISUAL", "EDITOR"}) {
        if (!qEnvironmentVariable(variable).trimmed().isEmpty())
            return qEnvironmentVariable(variable);
    }
    return QString();
}
