#include "link/commandguard.h"

#include "link/linkstate.h"

#include <QtWidgets/QStatusBar>

void showMessageBox(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box;
    box.setIcon(icon);
    box.setText(text);
    box.exec();
}

void refuse(QStatusBar *statusBar, QMessageBox::Icon icon, const QString &text)
{
    showMessageBox(icon, text);
    statusBar->showMessage(QString(), 0);
}

bool commandGuardPasses(QStatusBar *statusBar, BusyMessage busyMessage)
{
    const LinkState &link = linkState();
    if (!link.portOpen) {
        refuse(statusBar, QMessageBox::Information, QStringLiteral("connect to device, please"));
        return false;
    }
    if (!link.currentOperation.isEmpty()) {
        QString text = QStringLiteral("device is busy now");
        if (busyMessage == BusyMessage::NamingOperation)
            text += QStringLiteral(": ") + link.currentOperation;
        refuse(statusBar, QMessageBox::Warning, text);
        return false;
    }
    return true;
}

bool confirmedByUser(const QString &question)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}
