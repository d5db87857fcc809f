// The checks every command button makes before it sends anything, and the
// modal boxes it answers with.
#ifndef COMMANDGUARD_H
#define COMMANDGUARD_H

#include <QtWidgets/QMessageBox>

class QStatusBar;

// Download and Upload name the operation in progress; the other commands don't.
enum class BusyMessage { NamingOperation, Plain };

// Shows text in a parentless, untitled modal box with an OK button.
void showMessageBox(QMessageBox::Icon icon, const QString &text);

// Shows the box, then clears the status bar.
void refuse(QStatusBar *statusBar, QMessageBox::Icon icon, const QString &text);

// Passes when the port is open and no operation is in progress; otherwise
// refuses and returns false.
bool commandGuardPasses(QStatusBar *statusBar, BusyMessage busyMessage);

// Warning box with Yes and Cancel, Cancel by default; true only for Yes.
bool confirmedByUser(const QString &question);

#endif // COMMANDGUARD_H
