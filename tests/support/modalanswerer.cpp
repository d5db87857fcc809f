#include "modalanswerer.h"

#include "windowwaits.h"

#include <QtCore/QScopedValueRollback>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>

#include <utility>

ModalAnswerer::ModalAnswerer(QStatusBar *statusBar)
    : m_statusBar(statusBar)
{
    m_poll.setInterval(5);
    connect(&m_poll, &QTimer::timeout, this, &ModalAnswerer::answerActiveModal);
    m_poll.start();
}

void ModalAnswerer::answerActiveModal()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (m_answering || !modal || !modal->isVisible())
        return;
    // An action run inside a box runs the event loop, and with it this poll.
    const QScopedValueRollback<bool> answering(m_answering, true);

    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        ShownBox shown;
        shown.icon = box->icon();
        shown.text = box->text();
        shown.textFormat = box->textFormat();
        shown.title = box->windowTitle();
        shown.hasParent = box->parentWidget() != nullptr;
        shown.buttons = box->standardButtons();
        shown.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                   : QMessageBox::NoButton;
        if (m_statusBar)
            shown.statusWhileShown = m_statusBar->currentMessage();
        boxes.append(shown);
        if (m_beforeBoxAnswer)
            std::exchange(m_beforeBoxAnswer, nullptr)();

        const QMessageBox::StandardButton answer =
                m_boxAnswers.isEmpty() ? QMessageBox::NoButton : m_boxAnswers.dequeue();
        if (answer == QMessageBox::Escape) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else if (answer != QMessageBox::NoButton && box->button(answer)) {
            box->button(answer)->click();
        } else if (box->defaultButton()) {
            box->defaultButton()->click();
        } else {
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        }
        return;
    }

    if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        ++fileDialogsShown;
        if (m_beforeFileAnswer) {
            m_beforeFileAnswer();
            m_beforeFileAnswer = nullptr;
        }
        const QString path = m_fileAnswers.isEmpty() ? QString() : m_fileAnswers.dequeue();
        if (m_afterFileAnswer) {
            connect(dialog, &QDialog::accepted, this, m_afterFileAnswer);
            m_afterFileAnswer = nullptr;
        }
        if (path.isEmpty())
            dialog->reject();
        else
            pickInFileDialog(dialog, path);
        return;
    }
}
