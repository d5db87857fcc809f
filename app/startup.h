// The window's program around its window: --version and --help answered in
// the terminal, as every program does; Qt's high-DPI scaling on, so the
// fixed-size window keeps its layout at 150 % or 200 %; and the signals that
// end a program (SIGTERM at a logout, SIGHUP, Ctrl-C) end it as closing the
// window does, so the port is closed and its lock file removed.
#ifndef STARTUP_H
#define STARTUP_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <optional>

namespace WindowProgram {

// What an option of the program's own says before any window: its text for
// standard output and the exit status. Nothing when the window is to start
// (the arguments then go to Qt, which takes its own options).
struct Answer
{
    int status = 0;
    QString text;
};
std::optional<Answer> answerOptions(const QStringList &arguments);

// Before the application object exists.
void enableHighDpiScaling();

// After the application object exists: the end signals quit its event loop,
// and a second one ends the program at once. Does nothing on Windows, which
// has no such signals for a window and keeps no lock files.
void quitOnEndSignals();

// All of the above, around a MainWindow; main()'s body.
int run(int argc, char *argv[]);

} // namespace WindowProgram

#endif // STARTUP_H
