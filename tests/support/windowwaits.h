// What a test or a benchmark does to the window as a user would, shared by
// both: wait for the link to fall idle, answer a file dialog.
#ifndef WINDOWWAITS_H
#define WINDOWWAITS_H

#include <QtCore/QString>

#include <functional>

class QFileDialog;

// Runs the event loop until the operation register is idle (true), or the
// time runs out. Sleeps until a reply ends an exchange rather than polling.
bool waitForIdleLink(int timeoutMs);

// Picks path in an open file dialog and accepts it, through the dialog's own
// accept(), which checks the pick as it would a user's. For a folder dialog
// path is the folder; otherwise the file. justBeforeAccept runs once the pick
// is made (a benchmark starts its clock there).
void pickInFileDialog(QFileDialog *dialog, const QString &path,
                      const std::function<void()> &justBeforeAccept = nullptr);

#endif // WINDOWWAITS_H
