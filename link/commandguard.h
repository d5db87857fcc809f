// The checks every command button makes before it sends anything, and the
// modal boxes it answers with.
#ifndef COMMANDGUARD_H
#define COMMANDGUARD_H

#include <QtWidgets/QMessageBox>

class QStatusBar;

// Download and Upload name the operation in progress; the other commands don't.
enum class BusyMessage { NamingOperation, Plain };

// Shows text in a parentless, untitled modal box with an OK button. The text
// is shown as it is, never read as markup: it may hold a device's file name.
void showMessageBox(QMessageBox::Icon icon, const QString &text);

// Shows the box, then clears the status bar, unless newer news (a reply, the
// line lost) arrived while the box was open.
void refuse(QStatusBar *statusBar, QMessageBox::Icon icon, const QString &text);

// Passes when the port is open and no operation is in progress; otherwise
// refuses and returns false.
bool commandGuardPasses(QStatusBar *statusBar, BusyMessage busyMessage);

// Warning box with Yes and Cancel, Cancel by default; true only for Yes.
// Any other answer clears the status bar as refuse() does.
bool confirmedByUser(QStatusBar *statusBar, const QString &question);

#endif // COMMANDGUARD_H
