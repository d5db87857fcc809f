// How edit starts the editor the user chose ($VISUAL, else $EDITOR), as the
// desktop's own shell would: on Unix through /bin/sh, so the choice may hold
// arguments and quotes ("code --wait", "emacsclient -t"), vi when none is
// chosen; on Windows through cmd.exe, which also starts a .cmd or .bat (VS
// Code's `code` is one), Notepad when none is chosen.
#ifndef EDITORLAUNCH_H
#define EDITORLAUNCH_H

#include "core/portopening.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

struct EditorLaunch
{
    QString program;
    QStringList arguments;
    // Windows: the command line after the program, as it is; cmd.exe reads
    // quotes its own way, which QProcess's quoting of arguments would break.
    QString nativeArguments;
    QString shown; // the editor, in messages
};

// chosen: the variable's value, empty when neither is set; path: the file
// to edit; commandInterpreter: %COMSPEC% on Windows, empty for cmd.exe.
EditorLaunch editorLaunch(const QString &chosen, const QString &path,
                          PortOpening::Desktop desktop = PortOpening::thisDesktop(),
                          const QString &commandInterpreter = qEnvironmentVariable("COMSPEC"));

// $VISUAL, else $EDITOR, else empty.
QString chosenEditor();

#endif // EDITORLAUNCH_H
